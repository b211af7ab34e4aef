#include "link/BusPortWorker.h"

#include "link/LinkLog.h"
#include "link/PortOpenFailure.h"

#include <QTimer>

#include <cerrno>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

bool ToParity(char cParity, QSerialPort::Parity& parity)
{
    switch (QChar::toUpper(static_cast<uchar>(cParity))) {
    case 'N':
        parity = QSerialPort::NoParity;
        return true;
    case 'O':
        parity = QSerialPort::OddParity;
        return true;
    case 'E':
        parity = QSerialPort::EvenParity;
        return true;
    case 'M':
        parity = QSerialPort::MarkParity;
        return true;
    case 'S':
        parity = QSerialPort::SpaceParity;
        return true;
    default:
        return false;
    }
}

const char* ReasonText(CReplyCollector::Reason reason)
{
    switch (reason) {
    case CReplyCollector::Reason::Count:
        return "count";
    case CReplyCollector::Reason::CrLf:
        return "CR LF";
    case CReplyCollector::Reason::Incomplete:
        return "incomplete";
    case CReplyCollector::Reason::None:
        break;
    }
    return "none";
}

constexpr qsizetype kMaxLoggedStale = 64 * 1024;

QByteArray Hex(const QByteArray& bytes)
{
    return bytes.toHex(' ').toUpper();
}

// Unix98 pseudo-terminal slaves (/dev/pts/N) and the old BSD ones.
bool IsPseudoTerminal(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned nMajor = major(info.st_rdev);
    return (nMajor >= 136 && nMajor <= 143) || nMajor == 3;
}

} // namespace

CBusPortWorker::CBusPortWorker(const std::atomic<int>& bTerminalShown)
    : m_bTerminalShown(bTerminalShown)
{
}

void CBusPortWorker::Init()
{
    m_pPort = new QSerialPort(this);
    m_pPauseTimer = new QTimer(this);
    m_pPauseTimer->setInterval(CReplyCollector::kPauseMs);
    m_pPauseTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pPort, &QSerialPort::readyRead, this, &CBusPortWorker::OnReadyRead);
    connect(m_pPort, &QSerialPort::errorOccurred, this, &CBusPortWorker::OnError);
    connect(m_pPort, &QSerialPort::bytesWritten, this, &CBusPortWorker::UpdatePortOutput);
    connect(m_pPauseTimer, &QTimer::timeout, this, &CBusPortWorker::OnTick);
}

void CBusPortWorker::Shutdown()
{
    Close();
    delete m_pPauseTimer;
    m_pPauseTimer = nullptr;
    delete m_pPort;
    m_pPort = nullptr;
}

bool CBusPortWorker::Open(const QString& strDevice, const ComSettings& settings,
                          CPortOpenFailure& failure)
{
    Close();
    m_strDevice = strDevice;
    m_pPort->setPortName(strDevice);
    if (!m_pPort->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_pPort->error();
        const QString strPortError = m_pPort->errorString();
        m_pPort->clearError();
        failure = CPortOpenFailure::Probe(strDevice, error == QSerialPort::PermissionError);
        qCDebug(lcLink, "open %s failed (%s): %s", qUtf8Printable(strDevice),
                qUtf8Printable(strPortError), qUtf8Printable(failure.Text()));
        return false;
    }

    const QString strRefused = ApplyLineSettings(settings);
    if (!strRefused.isEmpty()) {
        qCDebug(lcLink, "%s refused %s (%s)", qUtf8Printable(strDevice), qUtf8Printable(strRefused),
                qUtf8Printable(m_pPort->errorString()));
        m_pPort->close();
        m_pPort->clearError();
        failure = CPortOpenFailure::Refused(strDevice, strRefused);
        return false;
    }
    m_pPort->clearError();
    qCDebug(lcLink, "opened %s at %s", qUtf8Printable(strDevice),
            settings.SettingsText().constData());
    // Start with an empty receive buffer.
    DropInput("on open");
    m_bOpen.store(true);
    return true;
}

QString CBusPortWorker::ApplyLineSettings(const ComSettings& settings)
{
    // Every line setting must take: a port left on its old settings would
    // keep the bus silent without saying why. A pseudo-terminal (the
    // simulator) has no line and keeps 8 bits without parity whatever it is
    // told; only values that no port can have are refused there.
    const bool bPseudo = IsPseudoTerminal(static_cast<int>(m_pPort->handle()));
    QString strRefused;
    const auto apply = [&](bool bValid, const std::function<bool()>& set,
                           const QString& strSetting) {
        if (!strRefused.isEmpty())
            return;
        if (bValid && set())
            return;
        if (bValid && bPseudo) {
            qCDebug(lcLink, "%s is a pseudo-terminal and keeps its own %s (%s)",
                    qUtf8Printable(m_strDevice), qUtf8Printable(strSetting),
                    qUtf8Printable(m_pPort->errorString()));
            m_pPort->clearError();
            return;
        }
        strRefused = strSetting;
    };
    const char cParity = settings.ParityLetter();
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    const bool bParityKnown = ToParity(cParity, parity);
    apply(
        settings.m_nBaud > 0, [&] { return m_pPort->setBaudRate(settings.m_nBaud); },
        QStringLiteral("baud rate %1").arg(settings.m_nBaud));
    apply(
        settings.m_nDataBits >= 5 && settings.m_nDataBits <= 8,
        [&] {
            return m_pPort->setDataBits(static_cast<QSerialPort::DataBits>(settings.m_nDataBits));
        },
        QStringLiteral("%1 data bits").arg(settings.m_nDataBits));
    apply(
        bParityKnown, [&] { return m_pPort->setParity(parity); },
        QChar::isPrint(static_cast<uchar>(cParity))
            ? QStringLiteral("parity %1").arg(QLatin1Char(cParity))
            : QStringLiteral("parity 0x%1").arg(uint(uchar(cParity)), 2, 16, QLatin1Char('0')));
    apply(
        settings.m_nStopBits == 1 || settings.m_nStopBits == 2,
        [&] {
            return m_pPort->setStopBits(settings.m_nStopBits == 2 ? QSerialPort::TwoStop
                                                                  : QSerialPort::OneStop);
        },
        QStringLiteral("%1 stop bits").arg(settings.m_nStopBits));
    apply(
        true, [&] { return m_pPort->setFlowControl(QSerialPort::NoFlowControl); },
        QStringLiteral("no flow control"));
    return strRefused;
}

void CBusPortWorker::Close()
{
    if (m_pPauseTimer)
        m_pPauseTimer->stop();
    m_collector.Start(m_collector.ExpectedLen());
    FailArmedExchange();
    if (m_pPort && m_pPort->isOpen()) {
        m_pPort->close();
        m_pPort->clearError();
        qCDebug(lcLink, "closed %s", qUtf8Printable(m_strDevice));
    }
    m_bOpen.store(false);
    m_nPortOutput.store(0);
}

void CBusPortWorker::Write(const QByteArray& bytes)
{
    if (!m_pPort->isOpen())
        return;
    qCDebug(lcLink, "sent %s", Hex(bytes).constData());
    m_pPort->write(bytes);
    // Hand the bytes to the driver now rather than on the next loop pass.
    m_pPort->flush();
    UpdatePortOutput();
}

void CBusPortWorker::StartExchange(quint64 nTicket, const QByteArray& command, int nExpectedLen)
{
    m_pPauseTimer->stop();
    m_collector.Start(nExpectedLen);
    if (!m_pPort->isOpen()) {
        // Closed between the caller's look and now: nothing can answer.
        Q_EMIT ExchangeFailed(nTicket);
        return;
    }
    DropInput("before an exchange");
    m_nArmedTicket = nTicket;
    Write(command);
}

void CBusPortWorker::OnReadyRead()
{
    if (!m_pPort->isOpen())
        return;
    const QByteArray bytes = m_pPort->readAll();
    if (bytes.isEmpty())
        return;
    if (m_bTerminalShown.load()) {
        m_pPauseTimer->stop();
        Q_EMIT TerminalData(m_collector.Take() + bytes);
        return;
    }
    const bool bWasTicking = m_collector.IsTicking();
    const CReplyCollector::Verdict verdict = m_collector.Feed(bytes);
    if (!bWasTicking && verdict == CReplyCollector::Verdict::KeepWaiting)
        m_pPauseTimer->start();
    Act(verdict);
}

void CBusPortWorker::OnTick()
{
    QString strReason;
    if (HungUp(strReason)) {
        LoseDevice(strReason);
        return;
    }
    Act(m_collector.Tick());
}

void CBusPortWorker::Act(CReplyCollector::Verdict verdict)
{
    if (verdict == CReplyCollector::Verdict::KeepWaiting)
        return;
    m_pPauseTimer->stop();
    const int nTicks = m_collector.Ticks();
    const char* pszReason = ReasonText(m_collector.LastReason());
    const QByteArray bytes = m_collector.Take();
    if (verdict == CReplyCollector::Verdict::Discard) {
        qCDebug(lcLink, "discarded (%s after %d ticks): %s", pszReason, nTicks,
                Hex(bytes).constData());
        m_pPort->clear(QSerialPort::AllDirections);
        m_pPort->readAll();
        UpdatePortOutput();
        return;
    }
    if (m_nArmedTicket == 0) {
        qCDebug(lcLink, "dropped, no exchange waits (%s after %d ticks): %s", pszReason, nTicks,
                Hex(bytes).constData());
        return;
    }
    qCDebug(lcLink, "reply (%s after %d ticks): %s", pszReason, nTicks, Hex(bytes).constData());
    const quint64 nTicket = m_nArmedTicket;
    m_nArmedTicket = 0;
    Q_EMIT ReplyCompleted(nTicket, bytes);
}

void CBusPortWorker::OnError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    // A hung-up descriptor reads 0 bytes on every wake-up and the port reports a
    // read error each time; look at the line once the port has returned.
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (!m_pPort || !m_pPort->isOpen())
                return;
            QString strReason;
            if (HungUp(strReason))
                LoseDevice(strReason);
            else if (error == QSerialPort::ResourceError)
                LoseDevice(m_pPort->errorString());
            else
                m_pPort->clearError();
        },
        Qt::QueuedConnection);
}

bool CBusPortWorker::HungUp(QString& strReason) const
{
    if (!m_pPort->isOpen())
        return false;
    // Hang-up and error are reported whatever events are asked for.
    pollfd pfd{static_cast<int>(m_pPort->handle()), 0, 0};
    if (::poll(&pfd, 1, 0) <= 0 || !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return false;
    // What any read or write on it now says.
    strReason = qt_error_string((pfd.revents & POLLNVAL) ? EBADF : EIO);
    return true;
}

void CBusPortWorker::LoseDevice(const QString& strReason)
{
    qCDebug(lcLink, "hang-up on %s: %s", qUtf8Printable(m_strDevice), qUtf8Printable(strReason));
    // Closed for every reader before anyone hears of it, so that a caller woken
    // by the failed exchange finds the loss reported already.
    m_bOpen.store(false);
    Q_EMIT Lost(strReason);
    Close();
}

void CBusPortWorker::DropInput(const char* pszWhen)
{
    QByteArray stale = m_collector.Take() + m_pPort->readAll();
    // What the system holds and the port has not fetched yet, read here so
    // that the log can show it.
    char buffer[4096];
    ssize_t nRead = 0;
    while (stale.size() < kMaxLoggedStale &&
           (nRead = ::read(static_cast<int>(m_pPort->handle()), buffer, sizeof buffer)) > 0)
        stale.append(buffer, nRead);
    m_pPort->clear(QSerialPort::Input);
    if (!stale.isEmpty())
        qCDebug(lcLink, "stale input dropped %s: %s", pszWhen, Hex(stale).constData());
}

void CBusPortWorker::FailArmedExchange()
{
    if (m_nArmedTicket == 0)
        return;
    const quint64 nTicket = m_nArmedTicket;
    m_nArmedTicket = 0;
    Q_EMIT ExchangeFailed(nTicket);
}

void CBusPortWorker::UpdatePortOutput()
{
    m_nPortOutput.store(m_pPort && m_pPort->isOpen() ? m_pPort->bytesToWrite() : 0);
}
