#pragma once

#include <QByteArray>
#include <QString>

// The parameter page's display and statistics state: the 64 bytes after the
// record in a parameter file, 32-bit signed little-endian words.
struct PageDisplayState
{
    static constexpr int kSize = 64;
    static constexpr int kReservedTailSize = 20;

    qint32 m_nSelectedAddress = 0;
    qint32 m_nNewAddress = 0;
    qint32 m_nReserved = 0;
    qint32 m_nUnit = 0;
    qint32 m_nDecimals = 0;
    qint32 m_nDivision = 0;
    qint32 m_nMaximum = 0;
    qint32 m_nMinimum = 0;
    qint32 m_nDifference = 0;
    qint32 m_bRestartStatistics = 1;
    qint32 m_bRecording = 0;

    // The 20 reserved bytes are written as zeros and not looked at on reading.
    QByteArray ToBytes() const;
    // Exactly kSize bytes; the words are taken as they are.
    static bool FromBytes(const QByteArray& bytes, PageDisplayState& state);
    // Empty when every word lies in its table or range, else what is wrong.
    QString CheckRanges() const;

    bool operator==(const PageDisplayState&) const = default;
};
