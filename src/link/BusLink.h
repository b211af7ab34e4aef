#pragma once

#include "link/BusTransport.h"
#include "link/PortOpenFailure.h"
#include "link/ReadingTap.h"
#include "settings/ComSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class QThread;
class CBusPortWorker;

// The bus link: the one serial port to the modules and the transactions on it.
// It moves bytes; command texts and reply meanings are the module library's.
//
// The port lives on its own I/O thread, where the receive notification and the
// reply collector run, so a transaction never needs the UI thread.
//
// The bus mutex makes whole transactions (retries included) exclusive. Only
// transactions on an open port take it (Query, Command, ReadMeasuredValue);
// port operations (OpenPort, OpenBusPort, ClosePort, IsPortOpen, SendText,
// SendBytes, PendingOutput and the read-outs) take none and may be called
// from any thread: an open or a close goes to the I/O thread, which fails the
// exchange in flight at once. So the UI thread never waits on a transaction.
// Transactions belong to worker threads (never the UI thread, never the I/O
// thread).
//
// A device that goes away (PortLost) is opened again by itself with the same
// settings once it is back (PortReconnected); a port closed or opened by hand
// is not.
class CBusLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReplyBufferSize = 2048;

    explicit CBusLink(QObject* parent = nullptr);
    ~CBusLink() override;

    CBusLink(const CBusLink&) = delete;
    CBusLink& operator=(const CBusLink&) = delete;

    // Port number to device: the resolver's answer, or DefaultDevice when the
    // resolver is unset or answers an empty path.
    using DeviceResolver = std::function<QString(int nPort)>;
    void SetDeviceResolver(DeviceResolver resolver);
    QString DeviceForPort(int nPort) const;
    static QString DefaultDevice(int nPort);

    // Asked first for the transport of each device opened from now on (the
    // simulator's in-process bus, for one); serial and tcp:// serve the rest.
    void SetTransportFactory(BusTransportFactory factory);

    // Receives the message of a failed OpenBusPort (the GUI shows a box, the CLI
    // prints it). Called on the thread that called OpenBusPort.
    using OpenFailureReporter = std::function<void(const QString& strMessage)>;
    void SetOpenFailureReporter(OpenFailureReporter reporter);

    // Receives every block that arrives while m_bTerminalShown is set. Called on
    // the I/O thread; the receiver hands the bytes on to its own thread.
    using TerminalReceiver = std::function<void(const QByteArray& data)>;
    void SetTerminalReceiver(TerminalReceiver receiver);

    // Port operations. OpenPort closes the port if it is open and opens the
    // device of settings.m_nPort with all of its line settings; a setting the
    // port refuses fails the open with EINVAL.
    bool OpenPort(const ComSettings& settings);
    // OpenPort(m_comSettings); a failure goes to the reporter as
    // "串口%d打开失败,错误码%d", with the dialout hint below it for EACCES.
    bool OpenBusPort();
    bool ClosePort();
    bool IsPortOpen() const;
    // Returns once whatever the I/O thread is doing has finished: a listener
    // that disconnected from PortLost or PortReconnected and then waited here
    // is called no more.
    void AwaitIoThread();
    void SendText(const QByteArray& text);
    void SendBytes(const QByteArray& bytes);
    // Bytes handed to SendText/SendBytes or a transaction that the port has not
    // sent yet.
    qint64 PendingOutput() const;
    // System error code (errno) of the last failed open, 0 when none failed.
    int LastOpenError() const { return m_nLastOpenError.load(); }
    // Why the last open failed, in the system's terms.
    CPortOpenFailure LastOpenFailure() const;
    // The device the port was last opened on.
    QString OpenDevice() const;
    // How often a lost device has come back: a caller that set modules up
    // sets them up again when it changes (a bus that lost power forgets).
    quint64 ReconnectCount() const { return m_nReconnects.load(); }

    // Transactions: each sends one command and waits for its reply. The
    // exchange in flight fails at once when the port closes or the device goes
    // away. On a closed port nothing is sent and the bus mutex is not taken:
    // Query and Command wait out their time-outs without it (or until the port
    // opens again) so that a caller never spins, ReadMeasuredValue returns
    // false at once and its caller waits.
    //
    // The reply text up to its first zero byte; a second attempt when the first fails.
    bool Query(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs);
    // True when the reply begins with "0\r\n"; with bRetry a second attempt.
    // pLastReply, when given, receives the last attempt's reply (empty: none
    // came), so that a caller can tell a refusal from silence.
    bool Command(const QByteArray& command, int nTimeoutMs, bool bRetry = true,
                 QByteArray* pLastReply = nullptr);
    // The measured-value read of the module library (checked while
    // m_bChecksum is set). One attempt.
    bool ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs);
    // The same read with the check byte tested as bChecksum says, not as m_bChecksum;
    // pbBadCheckByte, when given, tells whether a reply came with a wrong check byte.
    bool ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs,
                           bool bChecksum, bool* pbBadCheckByte = nullptr);
    // When the collector last completed a reply, also one whose exchange had
    // already timed out (a late reply); the clock's epoch when none was.
    std::chrono::steady_clock::time_point LastReplyTime() const;

    // Where every measured-value read is reported (remote monitoring listens).
    CReadingTap& Readings() { return m_readings; }

    // Settings the bus port is opened with by OpenBusPort (UI thread).
    ComSettings m_comSettings;

    // Shared words.
    std::atomic<int> m_bChecksum{0};
    std::atomic<int> m_bTerminalShown{0};

Q_SIGNALS:
    // The device went away (hang-up, read or write error) and the port is
    // closed. Once per loss, emitted on the I/O thread.
    void PortLost(const QString& strReason);
    // The lost device opened again with its settings. Emitted on the I/O thread.
    void PortReconnected();
    // OpenPort or ClosePort ran (opened or not), on the thread that called it.
    void PortStateChanged();

private:
    // Single attempts, inside a transaction that holds the bus mutex.
    bool Exchange(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs);
    bool ExchangeAck(const QByteArray& command, int nTimeoutMs, QByteArray& reply);
    // Sends the command with its expected length to the I/O thread and waits
    // until the reply is complete, the exchange failed or the time-out passed.
    bool Transact(const QByteArray& command, int nExpectedLen, int nTimeoutMs, QByteArray& reply);
    // Waits nMs outside the bus mutex, or until the port is open again.
    void WaitWhileClosed(int nMs);
    void WakeClosedWaits();
    void ClearReply();
    void AssertTransactionThread() const;

    // From the worker's signals, on the I/O thread.
    void OnReplyCompleted(quint64 nTicket, const QByteArray& bytes);
    void OnExchangeFailed(quint64 nTicket);
    void OnTerminalData(const QByteArray& data);

    QThread* m_pIoThread = nullptr;
    CBusPortWorker* m_pWorker = nullptr; // lives on m_pIoThread

    std::mutex m_busMutex; // held by a whole transaction on an open port

    // The reply buffer and how the exchange it answers ended; the reply event
    // also wakes the closed-port waits when the port opens.
    std::mutex m_replyMutex;
    std::condition_variable m_replyEvent;
    quint64 m_nFinishedTicket = 0;
    bool m_bFinishedWithReply = false;
    QByteArray m_byReply;
    int m_nReplyLen = 0;
    std::atomic<quint64> m_nNextTicket{0};

    std::atomic<int> m_nLastOpenError{0};
    std::atomic<quint64> m_nReconnects{0};
    std::atomic<qint64> m_nQueuedOutput{0}; // on the way to the I/O thread
    std::atomic<std::chrono::steady_clock::rep> m_nLastReplyTicks{0};

    mutable std::mutex m_callbackMutex;
    DeviceResolver m_resolver;
    OpenFailureReporter m_reporter;
    TerminalReceiver m_terminalReceiver;
    QString m_strOpenDevice;
    CPortOpenFailure m_lastFailure;
    CReadingTap m_readings;
};
