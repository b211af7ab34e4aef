#pragma once

#include "link/BusTransport.h"

#include <QSerialPort>

// A serial port through QSerialPort. On Linux the driver is asked for low
// latency after opening: a USB adapter otherwise holds received bytes for
// its latency timer (16 ms by default) before handing them on.
class CSerialTransport : public CBusTransport
{
    Q_OBJECT
public:
    CSerialTransport();

    bool Open(const QString& strDevice, int nWaitMs, CPortOpenFailure& failure) override;
    // Every line setting must take: a port left on its old settings would keep
    // the bus silent without saying why. A pseudo-terminal (the simulator) has
    // no line; only values that no port can have are refused there.
    QString ApplyLineSettings(const ComSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return m_port.isOpen(); }
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override { return m_port.readAll(); }
    void Clear() override;
    QByteArray DropInput() override;
    qint64 BytesToWrite() const override { return m_port.bytesToWrite(); }
    // Not a pseudo-terminal named by its number: the next one to get that
    // number belongs to some other program (a name that links to it can come back).
    bool ComesBackUnderItsName() const override;
    // Looks at the descriptor itself: QSerialPort keeps polling a hung-up
    // descriptor that reads 0 bytes.
    bool HungUp(QString& strReason) override;

private:
    void OnError(QSerialPort::SerialPortError error);
    void AskForLowLatency();
    bool IsPseudoTerminal() const;

    QSerialPort m_port;
    QString m_strDevice;
};
