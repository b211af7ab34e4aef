#pragma once

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
//
// The port lives on its own I/O thread, where the receive notification and the
// reply collector run, so a transaction never needs the UI thread. Port
// operations may be called from any thread; transactions only from worker
// threads (never the UI thread, never the I/O thread).
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

    // Receives the message of a failed OpenBusPort (the GUI shows a box, the CLI
    // prints it). Called on the thread that called OpenBusPort.
    using OpenFailureReporter = std::function<void(const QString& strMessage)>;
    void SetOpenFailureReporter(OpenFailureReporter reporter);

    // Receives every block that arrives while m_bTerminalShown is set. Called on
    // the I/O thread; the receiver hands the bytes on to its own thread.
    using TerminalReceiver = std::function<void(const QByteArray& data)>;
    void SetTerminalReceiver(TerminalReceiver receiver);

    // Port operations.
    bool OpenPort(int nPort, int nBaud, int nDataBits, int nStopBits, char cParity);
    bool OpenBusPort();
    bool ClosePort();
    bool IsPortOpen() const { return m_bPortOpen.load(); }
    void SendText(const QByteArray& text);
    void SendBytes(const QByteArray& bytes);
    // System error code (errno) of the last failed open, 0 when none failed.
    int LastOpenError() const { return m_nLastOpenError.load(); }
    // The device the port was last opened on.
    QString OpenDevice() const;
    // Bytes handed to SendText/SendBytes or a transaction that the port has not
    // sent yet (any thread).
    qint64 PendingOutput() const;

    static QByteArray SettingsText(int nBaud, char cParity, int nDataBits, int nStopBits);

    // Transactions.
    void ClearReply();
    bool Exchange(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs);
    bool Query(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs);
    bool ExchangeAck(const QByteArray& command, int nTimeoutMs);
    bool Command(const QByteArray& command, int nTimeoutMs, bool bRetry = true);
    bool ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs);
    // The same read with the check byte tested as bChecksum says, not as m_bChecksum.
    bool ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs,
                           bool bChecksum);
    // When the collector last completed a reply, also one whose exchange had
    // already timed out (a late reply); the clock's epoch when none was.
    std::chrono::steady_clock::time_point LastReplyTime() const;

    // The six-byte binary measured value: 24-bit big-endian two's complement,
    // byte 3 the XOR of bytes 0..2 (tested only with bChecksum).
    static bool DecodeMeasuredValue(const QByteArray& reply, bool bChecksum, qint32& nValue);
    static bool IsAcknowledgement(const QByteArray& reply);

    // Settings the bus port is opened with by OpenBusPort (UI thread).
    ComSettings m_comSettings;

    // Shared words.
    std::atomic<int> m_bChecksum{0};
    std::atomic<int> m_bTerminalShown{0};

Q_SIGNALS:
    // The port closed by itself (device gone, read error). Emitted on the I/O thread.
    void PortLost(const QString& strReason);

private:
    friend class CBusPortWorker;

    // One exchange: send the command, wait for the collector to complete a
    // reply for this exchange, copy it out. Returns false on time-out.
    bool Transact(const QByteArray& command, int nTimeoutMs, QByteArray& reply);
    void AssertTransactionThread() const;
    // Collector side, called on the I/O thread.
    void CompleteReply(quint64 nTicket, const QByteArray& bytes);
    void SetPortOpen(bool bOpen) { m_bPortOpen.store(bOpen); }
    void DeliverToTerminal(const QByteArray& data);

    QThread* m_pIoThread = nullptr;
    CBusPortWorker* m_pWorker = nullptr; // lives on m_pIoThread

    std::mutex m_busMutex; // held by a whole transaction and by OpenPort

    // The reply buffer and the completion of the exchange it answers.
    std::mutex m_replyMutex;
    std::condition_variable m_replyEvent;
    quint64 m_nCompletedTicket = 0;
    QByteArray m_byReply;
    int m_nReplyLen = 0;
    std::atomic<quint64> m_nNextTicket{0};

    std::atomic<int> m_nExpectedLen{3};
    std::atomic<bool> m_bPortOpen{false};
    std::atomic<int> m_nLastOpenError{0};
    std::atomic<qint64> m_nQueuedOutput{0}; // on the way to the I/O thread
    std::atomic<std::chrono::steady_clock::rep> m_nLastReplyTicks{0};

    mutable std::mutex m_callbackMutex;
    DeviceResolver m_resolver;
    OpenFailureReporter m_reporter;
    TerminalReceiver m_terminalReceiver;
    QString m_strOpenDevice;
};
