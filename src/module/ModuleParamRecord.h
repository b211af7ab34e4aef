#pragma once

#include <QByteArray>

#include <array>

// The parameter set of one module as last read, edited or imported: the first
// 452 bytes of a parameter file, 32-bit signed little-endian words.
struct ModuleParamRecord
{
    static constexpr int kSize = 452;
    static constexpr int kIdentificationSize = 260;

    qint32 m_nCof = 0;
    qint32 m_nTav = 0;
    qint32 m_nNov = 0;
    qint32 m_nReserved12 = 0;
    qint32 m_nZse = 0;
    qint32 m_nReserved20 = 0;
    qint32 m_nZtr = 0;
    qint32 m_nZts = 1;
    qint32 m_nAsf = 0;
    qint32 m_nCoc = 0;
    qint32 m_nAdi = 0;
    qint32 m_nLdw = 0;
    qint32 m_nLwt = 0;
    qint32 m_nFmd = 0;
    qint32 m_nIcr = 0;
    qint32 m_nStr = 0;
    qint32 m_nCsm = 0;
    qint32 m_nRln = 4;
    qint32 m_nRle = 0;
    qint32 m_nRlcIndex = 0;
    std::array<qint32, 8> m_arrRlc{};
    qint32 m_nManualMeasuredCount = 0;
    std::array<qint32, 8> m_arrManualMeasured{};
    qint32 m_nManualWeightCount = 0;
    std::array<qint32, 8> m_arrManualWeight{};
    qint32 m_nChp = 0;
    qint32 m_nGan = 0;
    // The identification text as code page 936 bytes, at most 259 of them.
    QByteArray m_strIdentification;

    // The word a parameter of the read or the save lives in; nullptr for a
    // mnemonic that has none (IDN, unknown names).
    qint32* Field(const char* pszMnemonic);
    const qint32* Field(const char* pszMnemonic) const;
    // Point nIndex of the linearisation; 0 for an index outside 0 to 7 (a
    // record read from a file may hold any index).
    qint32 PointValue(int nIndex) const
    {
        return nIndex >= 0 && nIndex < int(m_arrRlc.size()) ? m_arrRlc[std::size_t(nIndex)] : 0;
    }

    QByteArray ToBytes() const;
    // Exactly kSize bytes. The identification is taken up to its first zero;
    // false when the 260 bytes hold none.
    static bool FromBytes(const QByteArray& bytes, ModuleParamRecord& record);

    bool operator==(const ModuleParamRecord&) const = default;
};
