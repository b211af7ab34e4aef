#pragma once

#include "link/BusTransport.h"
#include "link/ReplyCollector.h"
#include "settings/ComSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class CPortOpenFailure;
class QTimer;

// The bus port and the reply collector on the bus I/O thread, over a
// transport (serial, TCP, in process). Every operation but the read-outs
// runs there only (the link invokes them); what happens on the port is
// reported through the signals, emitted on the I/O thread.
//
// A device that goes away is tried again about once a second with the same
// settings until it opens or the port is opened or closed by hand (unless its
// name cannot stand for it again: a pseudo-terminal's number).
class CBusPortWorker : public QObject
{
    Q_OBJECT
public:
    // How long a transport that connects first (TCP) may take: for an open
    // by hand, and for each attempt to get a lost device back.
    static constexpr int kOpenWaitMs = 3000;
    static constexpr int kRetryWaitMs = 300;
    static constexpr int kRetryIntervalMs = 1000;

    // bTerminalShown: while non-zero, received blocks go out as TerminalData
    // instead of to the collector.
    explicit CBusPortWorker(const std::atomic<int>& bTerminalShown);
    ~CBusPortWorker() override;

    // Creates the timers; the first call on the I/O thread.
    void Init();
    // Closes the port and deletes the timers; the last call on the I/O thread.
    void Shutdown();
    // Asked first for the transport of each device; the built-in ones serve
    // what it leaves.
    void SetTransportFactory(BusTransportFactory factory);

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
    // The lost device opened again with the settings it had.
    void Reconnected();

private:
    bool OpenTransport(const QString& strDevice, const ComSettings& settings, int nWaitMs,
                       CPortOpenFailure& failure);
    void CloseTransport();
    void OnReadyRead();
    void OnTick();
    void OnRetry();
    void Act(CReplyCollector::Verdict verdict);
    void LoseDevice(const QString& strReason);
    void DropInput(const char* pszWhen);
    void FailArmedExchange();
    void UpdatePortOutput();

    const std::atomic<int>& m_bTerminalShown;
    BusTransportFactory m_factory;
    std::unique_ptr<CBusTransport> m_pTransport;
    QTimer* m_pPauseTimer = nullptr;
    QTimer* m_pRetryTimer = nullptr;
    QString m_strDevice;
    ComSettings m_settings;
    bool m_bRetryFailureLogged = false;
    CReplyCollector m_collector;
    quint64 m_nArmedTicket = 0;
    std::atomic<bool> m_bOpen{false};
    std::atomic<qint64> m_nPortOutput{0};
};
