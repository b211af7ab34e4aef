#include "link/BusLink.h"

#include "link/BusPortWorker.h"
#include "link/LinkLog.h"
#include "link/PostedCall.h"
#include "link/ThreadJoin.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <cstring>

CBusLink::CBusLink(QObject* parent) : QObject(parent), m_byReply(kReplyBufferSize, '\0')
{
    m_pIoThread = new QThread;
    m_pIoThread->setObjectName(QStringLiteral("bus I/O"));
    CThreadJoin::Watch(*m_pIoThread);
    m_pWorker = new CBusPortWorker(m_bTerminalShown);
    m_pWorker->moveToThread(m_pIoThread);
    // Direct: the worker's reports are handled on the I/O thread as they happen.
    connect(m_pWorker, &CBusPortWorker::ReplyCompleted, this, &CBusLink::OnReplyCompleted,
            Qt::DirectConnection);
    connect(m_pWorker, &CBusPortWorker::ExchangeFailed, this, &CBusLink::OnExchangeFailed,
            Qt::DirectConnection);
    connect(m_pWorker, &CBusPortWorker::TerminalData, this, &CBusLink::OnTerminalData,
            Qt::DirectConnection);
    connect(m_pWorker, &CBusPortWorker::Lost, this, &CBusLink::PortLost, Qt::DirectConnection);
    connect(
        m_pWorker, &CBusPortWorker::Reconnected, this,
        [this] {
            ++m_nReconnects;
            WakeClosedWaits();
            Q_EMIT PortReconnected();
        },
        Qt::DirectConnection);
    m_pIoThread->start();
    CPostedCall::Blocking(m_pWorker, [this] { m_pWorker->Init(); });
}

CBusLink::~CBusLink()
{
    // Every worker has ended by now; an exchange still armed fails here.
    CPostedCall::Blocking(m_pWorker, [this] { m_pWorker->Shutdown(); });
    m_pIoThread->quit();
    CThreadJoin::Wait(*m_pIoThread);
    // Orders the I/O thread's last notification before the reply event goes.
    std::lock_guard replyLock(m_replyMutex);
    delete m_pWorker;
    delete m_pIoThread;
}

void CBusLink::SetDeviceResolver(DeviceResolver resolver)
{
    std::lock_guard lock(m_callbackMutex);
    m_resolver = std::move(resolver);
}

QString CBusLink::DeviceForPort(int nPort) const
{
    std::lock_guard lock(m_callbackMutex);
    const QString strDevice = m_resolver ? m_resolver(nPort) : QString();
    return strDevice.isEmpty() ? DefaultDevice(nPort) : strDevice;
}

QString CBusLink::DefaultDevice(int nPort)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(nPort);
#else
    return QStringLiteral("/dev/ttyS%1").arg(nPort - 1);
#endif
}

void CBusLink::SetOpenFailureReporter(OpenFailureReporter reporter)
{
    std::lock_guard lock(m_callbackMutex);
    m_reporter = std::move(reporter);
}

void CBusLink::SetTerminalReceiver(TerminalReceiver receiver)
{
    std::lock_guard lock(m_callbackMutex);
    m_terminalReceiver = std::move(receiver);
}

void CBusLink::OnTerminalData(const QByteArray& data)
{
    TerminalReceiver receiver;
    {
        std::lock_guard lock(m_callbackMutex);
        receiver = m_terminalReceiver;
    }
    if (receiver)
        receiver(data);
}

void CBusLink::SetTransportFactory(BusTransportFactory factory)
{
    CPostedCall::Blocking(m_pWorker,
                          [this, &factory] { m_pWorker->SetTransportFactory(std::move(factory)); });
}

void CBusLink::AwaitIoThread()
{
    CPostedCall::Blocking(m_pWorker, [] {});
}

bool CBusLink::OpenPort(const ComSettings& settings)
{
    const QString strDevice = DeviceForPort(settings.m_nPort);
    bool bOpened = false;
    CPortOpenFailure failure;
    CPostedCall::Blocking(m_pWorker,
                          [&] { bOpened = m_pWorker->Open(strDevice, settings, failure); });
    m_nLastOpenError.store(bOpened ? 0 : failure.m_nError);
    {
        std::lock_guard lock(m_callbackMutex);
        m_strOpenDevice = strDevice;
        m_lastFailure = failure;
    }
    if (bOpened)
        WakeClosedWaits();
    Q_EMIT PortStateChanged();
    return bOpened;
}

bool CBusLink::OpenBusPort()
{
    const ComSettings settings = m_comSettings;
    if (OpenPort(settings))
        return true;
    const int nError = m_nLastOpenError.load();
    QString strMessage =
        QString::fromUtf8("串口%1打开失败,错误码%2").arg(settings.m_nPort).arg(nError);
    const QString strHint = CPortOpenFailure::Hint(nError);
    if (!strHint.isEmpty())
        strMessage += QLatin1Char('\n') + strHint;
    OpenFailureReporter reporter;
    {
        std::lock_guard lock(m_callbackMutex);
        reporter = m_reporter;
    }
    if (reporter)
        reporter(strMessage);
    return false;
}

bool CBusLink::ClosePort()
{
    CPostedCall::Blocking(m_pWorker, [this] { m_pWorker->Close(); });
    Q_EMIT PortStateChanged();
    return true;
}

bool CBusLink::IsPortOpen() const
{
    return m_pWorker->IsOpen();
}

QString CBusLink::OpenDevice() const
{
    std::lock_guard lock(m_callbackMutex);
    return m_strOpenDevice;
}

CPortOpenFailure CBusLink::LastOpenFailure() const
{
    std::lock_guard lock(m_callbackMutex);
    return m_lastFailure;
}

qint64 CBusLink::PendingOutput() const
{
    return m_nQueuedOutput.load() + m_pWorker->PortOutput();
}

void CBusLink::SendText(const QByteArray& text)
{
    SendBytes(text);
}

void CBusLink::SendBytes(const QByteArray& bytes)
{
    if (!IsPortOpen())
        return;
    m_nQueuedOutput += bytes.size();
    // The port's count goes up before the queued one goes down, so that the
    // sum never reads 0 while bytes are on their way.
    CPostedCall::Post(m_pWorker, [this, bytes] {
        m_pWorker->Write(bytes);
        m_nQueuedOutput -= bytes.size();
    });
}

void CBusLink::ClearReply()
{
    std::lock_guard lock(m_replyMutex);
    m_byReply.fill('\0');
    m_nReplyLen = 0;
}

void CBusLink::AssertTransactionThread() const
{
    Q_ASSERT_X(QThread::currentThread() != m_pIoThread, "CBusLink",
               "a transaction on the I/O thread can never be completed");
    Q_ASSERT_X(!qApp || !qApp->inherits("QGuiApplication") ||
                   QThread::currentThread() != qApp->thread(),
               "CBusLink", "transactions belong to worker threads, not the UI thread");
}

void CBusLink::OnReplyCompleted(quint64 nTicket, const QByteArray& bytes)
{
    {
        std::lock_guard lock(m_replyMutex);
        const qsizetype nLen = qMin<qsizetype>(bytes.size(), kReplyBufferSize);
        m_byReply.fill('\0');
        std::memcpy(m_byReply.data(), bytes.constData(), nLen);
        m_nReplyLen = static_cast<int>(nLen);
        m_nFinishedTicket = nTicket;
        m_bFinishedWithReply = true;
        m_nLastReplyTicks.store(std::chrono::steady_clock::now().time_since_epoch().count());
        // Under the lock: whoever takes the lock next finds the notification done.
        m_replyEvent.notify_all();
    }
}

void CBusLink::OnExchangeFailed(quint64 nTicket)
{
    {
        std::lock_guard lock(m_replyMutex);
        m_nFinishedTicket = nTicket;
        m_bFinishedWithReply = false;
        m_replyEvent.notify_all();
    }
}

bool CBusLink::Transact(const QByteArray& command, int nExpectedLen, int nTimeoutMs,
                        QByteArray& reply)
{
    AssertTransactionThread();
    ClearReply();
    if (!IsPortOpen())
        return false;
    // A fresh ticket per exchange: a reply that completes after its own exchange
    // timed out carries the old ticket and is never taken for this one.
    const quint64 nTicket = ++m_nNextTicket;
    m_nQueuedOutput += command.size();
    CPostedCall::Post(m_pWorker, [this, nTicket, command, nExpectedLen] {
        m_pWorker->StartExchange(nTicket, command, nExpectedLen);
        m_nQueuedOutput -= command.size();
    });
    std::unique_lock lock(m_replyMutex);
    const bool bFinished = m_replyEvent.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                                 [&] { return m_nFinishedTicket == nTicket; });
    const bool bReply = bFinished && m_bFinishedWithReply;
    if (bReply)
        reply = QByteArray(m_byReply.constData(), m_nReplyLen);
    m_byReply.fill('\0');
    m_nReplyLen = 0;
    if (!bFinished)
        qCDebug(lcLink, "time-out: %d ms without a reply to %s", nTimeoutMs, command.constData());
    else if (!bReply)
        qCDebug(lcLink, "no reply to %s: the port closed", command.constData());
    return bReply;
}

bool CBusLink::Exchange(const QByteArray& command, QByteArray& reply, int nExpectedLen,
                        int nTimeoutMs)
{
    QByteArray bytes;
    if (!Transact(command, nExpectedLen, nTimeoutMs, bytes))
        return false;
    // The reply text ends at its first zero byte, as an 8-bit C string would.
    const qsizetype nZero = bytes.indexOf('\0');
    reply = nZero < 0 ? bytes : bytes.left(nZero);
    return true;
}

void CBusLink::WaitWhileClosed(int nMs)
{
    AssertTransactionThread();
    std::unique_lock lock(m_replyMutex);
    m_replyEvent.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return IsPortOpen(); });
}

void CBusLink::WakeClosedWaits()
{
    std::lock_guard lock(m_replyMutex);
    m_replyEvent.notify_all();
}

bool CBusLink::Query(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs)
{
    int nAttemptsLeft = 2;
    if (IsPortOpen()) {
        std::lock_guard busLock(m_busMutex);
        while (nAttemptsLeft > 0 && IsPortOpen()) {
            --nAttemptsLeft;
            if (Exchange(command, reply, nExpectedLen, nTimeoutMs))
                return true;
        }
    }
    WaitWhileClosed(nAttemptsLeft * nTimeoutMs);
    return false;
}

bool CBusLink::ExchangeAck(const QByteArray& command, int nTimeoutMs, QByteArray& reply)
{
    // An acknowledgement is three bytes; waiting for the length of a longer
    // reply would hold every acknowledgement for all the pauses.
    reply.clear();
    if (!Transact(command, 3, nTimeoutMs, reply)) {
        reply.clear();
        return false;
    }
    return CModuleReply::IsAcknowledged(reply);
}

bool CBusLink::Command(const QByteArray& command, int nTimeoutMs, bool bRetry,
                       QByteArray* pLastReply)
{
    int nAttemptsLeft = bRetry ? 2 : 1;
    QByteArray reply;
    if (pLastReply)
        pLastReply->clear();
    if (IsPortOpen()) {
        std::lock_guard busLock(m_busMutex);
        while (nAttemptsLeft > 0 && IsPortOpen()) {
            --nAttemptsLeft;
            const bool bAcknowledged = ExchangeAck(command, nTimeoutMs, reply);
            if (pLastReply)
                *pLastReply = reply;
            if (bAcknowledged)
                return true;
        }
    }
    WaitWhileClosed(nAttemptsLeft * nTimeoutMs);
    return false;
}

bool CBusLink::ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs)
{
    return ReadMeasuredValue(nAddress, nValue, nExpectedLen, nTimeoutMs, m_bChecksum.load() != 0);
}

bool CBusLink::ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs,
                                 bool bChecksum, bool* pbBadCheckByte)
{
    if (pbBadCheckByte)
        *pbBadCheckByte = false;
    if (!IsPortOpen())
        return false;
    const QByteArray command = CModuleCommand::MeasuredValue(nAddress).m_text;
    std::lock_guard busLock(m_busMutex);
    QByteArray reply;
    if (!Transact(command, nExpectedLen, nTimeoutMs, reply))
        return false;
    const CModuleReply::ValueReply decoded =
        CModuleReply::CheckMeasuredValue(reply, bChecksum, nValue);
    if (pbBadCheckByte)
        *pbBadCheckByte = decoded == CModuleReply::ValueReply::BadCheckByte;
    return decoded == CModuleReply::ValueReply::Decoded;
}

std::chrono::steady_clock::time_point CBusLink::LastReplyTime() const
{
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(m_nLastReplyTicks.load()));
}
