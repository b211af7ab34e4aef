#pragma once

#include <QtGlobal>

// One request of the parameter page's worker, packed into a single word so
// that its kind and the addresses it was posted for change together.
struct ParamRequest
{
    enum class Kind : quint8
    {
        Weight = 1, // one weight reading of the address
        Gross,
        Tare,
        Net,
        Scan,
        ChangeAddress,
        Read,
        UnlockAndRead,
        Save,
        CaptureZero,     // "LDW;" and its read-back
        CaptureFullLoad, // "LWT;" and its read-back
        WritePoints,     // LDW, LWT, then NOV and TDD1
        WriteNominal,    // NOV and TDD1
        WriteEnable,     // RLE
        WriteCount,      // RLN
        WritePoint,      // RLC of the record's point index
        WriteMeasured,   // the manual measured values: no module command
        WriteWeights,    // the manual weight values: no module command
    };

    Kind m_kind = Kind::Weight;
    int m_nAddress = 0;    // the selected address when posted, 0 to 31
    int m_nNewAddress = 0; // the target of an address change, 0 to 31

    // Never 0, which is the empty request word.
    quint32 Pack() const
    {
        return (quint32(m_kind) << 16) | (quint32(m_nAddress & 0x1F) << 8) |
               quint32(m_nNewAddress & 0x1F);
    }
    static bool Unpack(quint32 nWord, ParamRequest& request)
    {
        const quint32 nKind = nWord >> 16;
        if (nKind < quint32(Kind::Weight) || nKind > quint32(Kind::WriteWeights))
            return false;
        request.m_kind = Kind(nKind);
        request.m_nAddress = int((nWord >> 8) & 0x1F);
        request.m_nNewAddress = int(nWord & 0x1F);
        return true;
    }
};
