#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <cstring>

// Bus port settings, stored as these 20 little-endian bytes.
struct ComSettings
{
    qint32 m_nPort = 1;
    qint32 m_nBaud = 19200;
    qint32 m_nDataBits = 8;
    qint32 m_nStopBits = 1;
    quint32 m_nParity = 'E'; // only the low byte, the parity letter, is read

    static constexpr int kSize = 20;
    static constexpr int kMaxPort = 256;
    static constexpr int kMaxBaud = 4000000;

    // Each field a serial port cannot take (a hand-edited or damaged file)
    // back at its default; the fields that can stay. True when one changed.
    bool RepairFields()
    {
        const ComSettings defaults;
        const ComSettings before = *this;
        if (m_nPort < 1 || m_nPort > kMaxPort)
            m_nPort = defaults.m_nPort;
        if (m_nBaud < 1 || m_nBaud > kMaxBaud)
            m_nBaud = defaults.m_nBaud;
        if (m_nDataBits < 5 || m_nDataBits > 8)
            m_nDataBits = defaults.m_nDataBits;
        if (m_nStopBits != 1 && m_nStopBits != 2)
            m_nStopBits = defaults.m_nStopBits;
        // None, odd, even, mark, space, as the serial transport takes them.
        if (const char cParity = ParityLetter();
            cParity == '\0' || !std::strchr("NOEMSnoems", cParity))
            m_nParity = defaults.m_nParity;
        return !(*this == before);
    }

    char ParityLetter() const { return static_cast<char>(m_nParity & 0xFF); }

    // "%d,%c,%d,%d": baud, parity letter, data bits, stop bits.
    QByteArray SettingsText() const
    {
        return QByteArray::number(m_nBaud) + ',' + ParityLetter() + ',' +
               QByteArray::number(m_nDataBits) + ',' + QByteArray::number(m_nStopBits);
    }

    QByteArray ToBytes() const
    {
        QByteArray bytes(kSize, '\0');
        const qint32 fields[5] = {m_nPort, m_nBaud, m_nDataBits, m_nStopBits,
                                  static_cast<qint32>(m_nParity)};
        for (int i = 0; i < 5; ++i)
            qToLittleEndian<qint32>(fields[i], bytes.data() + 4 * i);
        return bytes;
    }

    // Takes exactly 20 bytes; anything else leaves the record unchanged.
    bool FromBytes(const QByteArray& bytes)
    {
        if (bytes.size() != kSize)
            return false;
        const char* p = bytes.constData();
        m_nPort = qFromLittleEndian<qint32>(p);
        m_nBaud = qFromLittleEndian<qint32>(p + 4);
        m_nDataBits = qFromLittleEndian<qint32>(p + 8);
        m_nStopBits = qFromLittleEndian<qint32>(p + 12);
        m_nParity = qFromLittleEndian<quint32>(p + 16);
        return true;
    }

    bool operator==(const ComSettings&) const = default;
};
