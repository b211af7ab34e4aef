#pragma once

#include <QByteArray>
#include <QtEndian>

#include <array>

// Reads words in order; the caller has checked the size.
class CLittleEndianReader
{
public:
    explicit CLittleEndianReader(const QByteArray& bytes, qsizetype nOffset = 0)
        : m_bytes(bytes), m_nOffset(nOffset)
    {
    }
    qint32 Take()
    {
        const qint32 n = qFromLittleEndian<qint32>(m_bytes.constData() + m_nOffset);
        m_nOffset += 4;
        return n;
    }
    template <size_t N> void Take(std::array<qint32, N>& arr)
    {
        for (qint32& n : arr)
            n = Take();
    }

private:
    const QByteArray& m_bytes;
    qsizetype m_nOffset;
};
