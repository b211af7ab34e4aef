#pragma once

#include "settings/ComSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CPortOpenFailure;

// The byte stream under the bus port worker: a serial port, a TCP connection
// to a serial device server, or a simulated bus in this process. It lives on
// the bus I/O thread and is called there only; the worker above it keeps the
// reply collector, the exchanges and the hang-up handling.
class CBusTransport : public QObject
{
    Q_OBJECT
public:
    ~CBusTransport() override = default;

    // Opens the device; fails with the system's reason. nWaitMs bounds how
    // long a medium that must connect first may take.
    virtual bool Open(const QString& strDevice, int nWaitMs, CPortOpenFailure& failure) = 0;
    // Applies the line settings where the medium has them; the setting it
    // refused, or an empty text.
    virtual QString ApplyLineSettings(const ComSettings& settings) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Hands the bytes on at once.
    virtual void Write(const QByteArray& bytes) = 0;
    // What has arrived and is waiting.
    virtual QByteArray ReadAll() = 0;
    // Drops everything waiting in both directions.
    virtual void Clear() = 0;
    // Drops the input waiting anywhere on the way, and says what it was.
    virtual QByteArray DropInput() { return ReadAll(); }
    // Bytes handed to Write that have not left yet.
    virtual qint64 BytesToWrite() const = 0;
    // Whether a device opened under this name can be the same device when it
    // opens again after a loss (worth waiting for).
    virtual bool ComesBackUnderItsName() const { return true; }
    // Looks at the line once: true (with the reason) when the device is gone
    // without having said so.
    virtual bool HungUp(QString& /*strReason*/) { return false; }

    // The transport a device text names: "tcp://HOST:PORT" a serial device
    // server, anything else a serial port.
    static std::unique_ptr<CBusTransport> ForDevice(const QString& strDevice);

Q_SIGNALS:
    void ReadyRead();
    void BytesWritten();
    // The device went away; the transport is still open until Close.
    void Lost(const QString& strReason);
};

// Makes the transport for a device text, or nothing when the device is not
// its own; called on the I/O thread. A program registers one to put a
// transport of its own beside the serial and TCP ones.
using BusTransportFactory = std::function<std::unique_ptr<CBusTransport>(const QString& strDevice)>;
