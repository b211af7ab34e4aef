#pragma once

#include "link/BusTransport.h"

#include <QTcpSocket>

// A serial device server (an RS-485/Ethernet converter in raw TCP mode) at
// "tcp://HOST:PORT". Its line settings are the converter's own business; a
// connection the peer closes is a lost device, as an unplugged adapter is.
class CTcpTransport : public CBusTransport
{
    Q_OBJECT
public:
    static constexpr const char* kScheme = "tcp://";

    CTcpTransport();

    static bool IsTcpDevice(const QString& strDevice);
    // HOST and PORT of "tcp://HOST:PORT"; false when the text is not one.
    static bool ParseDevice(const QString& strDevice, QString& strHost, quint16& nPort);

    bool Open(const QString& strDevice, int nWaitMs, CPortOpenFailure& failure) override;
    QString ApplyLineSettings(const ComSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return m_bOpen; }
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override { return m_socket.readAll(); }
    void Clear() override { m_socket.readAll(); }
    qint64 BytesToWrite() const override { return m_socket.bytesToWrite(); }

private:
    void OnDisconnected();

    QTcpSocket m_socket;
    QString m_strDevice;
    bool m_bOpen = false;
};
