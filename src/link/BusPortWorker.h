#pragma once

#include "link/ReplyCollector.h"
#include "settings/ComSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <atomic>

class CPortOpenFailure;
class QTimer;

// The serial port and the reply collector on the bus I/O thread. Every
// operation but the two read-outs runs there only (the link invokes them);
// what happens on the port is reported through the signals, emitted on the
// I/O thread.
class CBusPortWorker : public QObject
{
    Q_OBJECT
public:
    // bTerminalShown: while non-zero, received blocks go out as TerminalData
    // instead of to the collector.
    explicit CBusPortWorker(const std::atomic<int>& bTerminalShown);

    // Creates the port and the pause timer; the first call on the I/O thread.
    void Init();
    // Closes and deletes the port and timer; the last call on the I/O thread.
    void Shutdown();

    // Opens the device and applies every line setting; a refused setting
    // closes it again and fails with EINVAL.
    bool Open(const QString& strDevice, const ComSettings& settings, CPortOpenFailure& failure);
    void Close();
    void Write(const QByteArray& bytes);
    // Drops stale input, arms the collector for nExpectedLen bytes, sends.
    void StartExchange(quint64 nTicket, const QByteArray& command, int nExpectedLen);

    // Any thread.
    bool IsOpen() const { return m_bOpen.load(); }
    // Bytes the port holds that are not sent yet.
    qint64 PortOutput() const { return m_nPortOutput.load(); }

Q_SIGNALS:
    void ReplyCompleted(quint64 nTicket, const QByteArray& reply);
    // The exchange cannot be answered any more: the port closed under it.
    void ExchangeFailed(quint64 nTicket);
    void TerminalData(const QByteArray& data);
    // The device went away (hang-up, read or write error); the port is closed.
    void Lost(const QString& strReason);

private:
    // Applies the line settings to the open port; the setting it refused, or
    // an empty text.
    QString ApplyLineSettings(const ComSettings& settings);
    void OnReadyRead();
    void OnTick();
    void OnError(QSerialPort::SerialPortError error);
    void Act(CReplyCollector::Verdict verdict);
    // Looks at the descriptor itself: QSerialPort keeps polling a hung-up
    // descriptor that reads 0 bytes. True (with the reason) when it hung up.
    bool HungUp(QString& strReason) const;
    void LoseDevice(const QString& strReason);
    void DropInput(const char* pszWhen);
    void FailArmedExchange();
    void UpdatePortOutput();

    const std::atomic<int>& m_bTerminalShown;
    QSerialPort* m_pPort = nullptr;
    QTimer* m_pPauseTimer = nullptr;
    QString m_strDevice;
    CReplyCollector m_collector;
    quint64 m_nArmedTicket = 0;
    std::atomic<bool> m_bOpen{false};
    std::atomic<qint64> m_nPortOutput{0};
};
