#pragma once

#include <QByteArray>
#include <QtEndian>

#include <array>

// 32-bit words to and from raw little-endian bytes, for the parameter file.
class CLittleEndianWriter
{
public:
    void Put(qint32 n)
    {
        char bytes[4];
        qToLittleEndian(n, bytes);
        m_bytes.append(bytes, 4);
    }
    template <size_t N> void Put(const std::array<qint32, N>& arr)
    {
        for (qint32 n : arr)
            Put(n);
    }
    void PutBytes(const QByteArray& bytes) { m_bytes.append(bytes); }
    const QByteArray& Bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};
