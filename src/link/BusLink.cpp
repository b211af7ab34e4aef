#include "link/BusLink.h"

#include "link/BusPortWorker.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <cstring>

namespace {

// Runs fn on the worker's thread and waits for it, or runs it directly when
// already there.
template <typename Fn> void RunBlocking(QObject* pTarget, Fn&& fn)
{
    if (QThread::currentThread() == pTarget->thread())
        fn();
    else
        QMetaObject::invokeMethod(pTarget, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}

template <typename Fn> void RunQueued(QObject* pTarget, Fn&& fn)
{
    QMetaObject::invokeMethod(pTarget, std::forward<Fn>(fn), Qt::QueuedConnection);
}

} // namespace

CBusLink::CBusLink(QObject* parent) : QObject(parent), m_byReply(kReplyBufferSize, '\0')
{
    m_pIoThread = new QThread;
    m_pIoThread->setObjectName(QStringLiteral("bus I/O"));
    m_pWorker = new CBusPortWorker(*this);
    m_pWorker->moveToThread(m_pIoThread);
    m_pIoThread->start();
    RunBlocking(m_pWorker, [this] { m_pWorker->Init(); });
}

CBusLink::~CBusLink()
{
    {
        std::lock_guard busLock(m_busMutex);
        RunBlocking(m_pWorker, [this] { m_pWorker->Shutdown(); });
    }
    m_pIoThread->quit();
    m_pIoThread->wait();
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

void CBusLink::DeliverToTerminal(const QByteArray& data)
{
    TerminalReceiver receiver;
    {
        std::lock_guard lock(m_callbackMutex);
        receiver = m_terminalReceiver;
    }
    if (receiver)
        receiver(data);
}

QByteArray CBusLink::SettingsText(int nBaud, char cParity, int nDataBits, int nStopBits)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(nBaud)
        .arg(QLatin1Char(cParity))
        .arg(nDataBits)
        .arg(nStopBits)
        .toLatin1();
}

bool CBusLink::OpenPort(int nPort, int nBaud, int nDataBits, int nStopBits, char cParity)
{
    const QString strDevice = DeviceForPort(nPort);
    std::lock_guard busLock(m_busMutex);
    bool bOpened = false;
    int nError = 0;
    RunBlocking(m_pWorker, [&] {
        bOpened = m_pWorker->Open(strDevice, nBaud, nDataBits, nStopBits, cParity, nError);
    });
    m_nLastOpenError.store(bOpened ? 0 : nError);
    std::lock_guard lock(m_callbackMutex);
    m_strOpenDevice = strDevice;
    return bOpened;
}

bool CBusLink::OpenBusPort()
{
    const ComSettings settings = m_comSettings;
    if (OpenPort(settings.m_nPort, settings.m_nBaud, settings.m_nDataBits, settings.m_nStopBits,
                 settings.ParityLetter()))
        return true;
    const QString strMessage = QString::fromUtf8("串口%1打开失败,错误码%2")
                                   .arg(settings.m_nPort)
                                   .arg(m_nLastOpenError.load());
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
    RunBlocking(m_pWorker, [this] { m_pWorker->Close(); });
    return true;
}

QString CBusLink::OpenDevice() const
{
    std::lock_guard lock(m_callbackMutex);
    return m_strOpenDevice;
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
    RunQueued(m_pWorker, [this, bytes] {
        m_nQueuedOutput -= bytes.size();
        m_pWorker->Write(bytes);
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

void CBusLink::CompleteReply(quint64 nTicket, const QByteArray& bytes)
{
    {
        std::lock_guard lock(m_replyMutex);
        const qsizetype nLen = qMin<qsizetype>(bytes.size(), kReplyBufferSize);
        m_byReply.fill('\0');
        std::memcpy(m_byReply.data(), bytes.constData(), nLen);
        m_nReplyLen = static_cast<int>(nLen);
        m_nCompletedTicket = nTicket;
    }
    m_nLastReplyTicks.store(std::chrono::steady_clock::now().time_since_epoch().count());
    m_replyEvent.notify_all();
}

bool CBusLink::Transact(const QByteArray& command, int nTimeoutMs, QByteArray& reply)
{
    AssertTransactionThread();
    ClearReply();
    // A fresh ticket per exchange: a reply that completes after its own exchange
    // timed out carries the old ticket and is never taken for this one.
    const quint64 nTicket = ++m_nNextTicket;
    if (IsPortOpen()) {
        m_nQueuedOutput += command.size();
        RunQueued(m_pWorker, [this, nTicket, command] {
            m_nQueuedOutput -= command.size();
            m_pWorker->StartExchange(nTicket, command);
        });
    }
    std::unique_lock lock(m_replyMutex);
    const bool bSignalled = m_replyEvent.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                                  [&] { return m_nCompletedTicket == nTicket; });
    if (bSignalled)
        reply = QByteArray(m_byReply.constData(), m_nReplyLen);
    m_byReply.fill('\0');
    m_nReplyLen = 0;
    return bSignalled;
}

bool CBusLink::Exchange(const QByteArray& command, QByteArray& reply, int nExpectedLen,
                        int nTimeoutMs)
{
    m_nExpectedLen.store(nExpectedLen);
    QByteArray bytes;
    if (!Transact(command, nTimeoutMs, bytes))
        return false;
    // The reply text ends at its first zero byte, as an 8-bit C string would.
    const qsizetype nZero = bytes.indexOf('\0');
    reply = nZero < 0 ? bytes : bytes.left(nZero);
    return true;
}

bool CBusLink::Query(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs)
{
    std::lock_guard busLock(m_busMutex);
    if (Exchange(command, reply, nExpectedLen, nTimeoutMs))
        return true;
    return Exchange(command, reply, nExpectedLen, nTimeoutMs);
}

bool CBusLink::IsAcknowledgement(const QByteArray& reply)
{
    return reply.startsWith("0\r\n");
}

bool CBusLink::ExchangeAck(const QByteArray& command, int nTimeoutMs)
{
    // An acknowledgement is three bytes; waiting for the length the previous
    // transaction left would hold every ack after a long reply for all pauses.
    m_nExpectedLen.store(3);
    QByteArray bytes;
    return Transact(command, nTimeoutMs, bytes) && IsAcknowledgement(bytes);
}

bool CBusLink::Command(const QByteArray& command, int nTimeoutMs, bool bRetry)
{
    std::lock_guard busLock(m_busMutex);
    if (ExchangeAck(command, nTimeoutMs))
        return true;
    return bRetry && ExchangeAck(command, nTimeoutMs);
}

bool CBusLink::DecodeMeasuredValue(const QByteArray& reply, bool bChecksum, qint32& nValue)
{
    if (reply.size() < 6)
        return false;
    const auto b0 = static_cast<quint8>(reply[0]);
    const auto b1 = static_cast<quint8>(reply[1]);
    const auto b2 = static_cast<quint8>(reply[2]);
    if (bChecksum && (b0 ^ b1 ^ b2) != static_cast<quint8>(reply[3]))
        return false;
    qint32 nRaw = (b0 << 16) | (b1 << 8) | b2;
    if (nRaw >= 0x800000)
        nRaw -= 0x1000000;
    nValue = nRaw;
    return true;
}

bool CBusLink::ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs)
{
    return ReadMeasuredValue(nAddress, nValue, nExpectedLen, nTimeoutMs, m_bChecksum.load() != 0);
}

bool CBusLink::ReadMeasuredValue(int nAddress, qint32& nValue, int nExpectedLen, int nTimeoutMs,
                                 bool bChecksum)
{
    const QByteArray command =
        QStringLiteral("S%1;MSV?;").arg(nAddress, 2, 10, QLatin1Char('0')).toLatin1();
    std::lock_guard busLock(m_busMutex);
    m_nExpectedLen.store(nExpectedLen);
    if (!IsPortOpen())
        return false;
    QByteArray reply;
    if (!Transact(command, nTimeoutMs, reply))
        return false;
    return DecodeMeasuredValue(reply, bChecksum, nValue);
}

std::chrono::steady_clock::time_point CBusLink::LastReplyTime() const
{
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(m_nLastReplyTicks.load()));
}
