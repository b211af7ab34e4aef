#pragma once

#include <QtGlobal>

// One request of the parameter page's worker, packed into a single word so
// that group, kind and the addresses it was posted for change together.
struct ParamRequest
{
    enum Kind
    {
        kGross = 1,
        kTare = 2,
        kNet = 3,
        kScan = 4,
        kChangeAddress = 5,
        kRead = 6,
        kUnlockAndRead = 7,
        kSave = 8,
    };

    int m_nGroup = 0;      // 0 to 4
    int m_nKind = 0;       // 0 to 17
    int m_nAddress = 0;    // the selected address when posted, 0 to 31
    int m_nNewAddress = 0; // the target of an address change, 0 to 31

    // Bit 31 marks a request as present, so that 0 is the empty slot.
    quint32 Pack() const
    {
        return 0x80000000u | (quint32(m_nGroup & 0x7) << 24) | (quint32(m_nKind & 0x1F) << 16) |
               (quint32(m_nAddress & 0x1F) << 8) | quint32(m_nNewAddress & 0x1F);
    }
    static bool Unpack(quint32 nWord, ParamRequest& request)
    {
        if ((nWord & 0x80000000u) == 0)
            return false;
        request.m_nGroup = int((nWord >> 24) & 0x7);
        request.m_nKind = int((nWord >> 16) & 0x1F);
        request.m_nAddress = int((nWord >> 8) & 0x1F);
        request.m_nNewAddress = int(nWord & 0x1F);
        return true;
    }
};
