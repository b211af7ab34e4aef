#include "link/SerialTransport.h"

#include "link/LinkLog.h"
#include "link/PortOpenFailure.h"

#include <functional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#endif
#endif

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

constexpr qsizetype kMaxDroppedRead = 64 * 1024;

} // namespace

CSerialTransport::CSerialTransport()
{
    connect(&m_port, &QSerialPort::readyRead, this, &CBusTransport::ReadyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &CBusTransport::BytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &CSerialTransport::OnError);
}

bool CSerialTransport::Open(const QString& strDevice, int, CPortOpenFailure& failure)
{
    m_strDevice = strDevice;
    m_port.setPortName(strDevice);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QString strPortError = m_port.errorString();
        m_port.clearError();
        failure = CPortOpenFailure::Probe(strDevice, error == QSerialPort::PermissionError,
                                          error == QSerialPort::DeviceNotFoundError);
        qCDebug(lcLink, "open %s failed (%s): %s", qUtf8Printable(strDevice),
                qUtf8Printable(strPortError), qUtf8Printable(failure.Text()));
        return false;
    }
    m_port.clearError();
    AskForLowLatency();
    return true;
}

void CSerialTransport::AskForLowLatency()
{
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(m_port.handle());
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
        qCDebug(lcLink, "%s: no low latency (%s)", qUtf8Printable(m_strDevice),
                qUtf8Printable(qt_error_string(errno)));
        return;
    }
    if (serial.flags & ASYNC_LOW_LATENCY) {
        qCDebug(lcLink, "%s: low latency already on", qUtf8Printable(m_strDevice));
        return;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &serial) != 0)
        qCDebug(lcLink, "%s: the driver refused low latency (%s)", qUtf8Printable(m_strDevice),
                qUtf8Printable(qt_error_string(errno)));
    else
        qCDebug(lcLink, "%s: low latency on", qUtf8Printable(m_strDevice));
#endif
}

bool CSerialTransport::IsPseudoTerminal() const
{
#ifdef Q_OS_LINUX
    // Unix98 pseudo-terminal slaves (/dev/pts/N) and the old BSD ones.
    struct stat info
    {
    };
    if (::fstat(static_cast<int>(m_port.handle()), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned nMajor = major(info.st_rdev);
    return (nMajor >= 136 && nMajor <= 143) || nMajor == 3;
#else
    return false;
#endif
}

QString CSerialTransport::ApplyLineSettings(const ComSettings& settings)
{
    const bool bPseudo = IsPseudoTerminal();
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
                    qUtf8Printable(m_port.errorString()));
            m_port.clearError();
            return;
        }
        strRefused = strSetting;
    };
    const char cParity = settings.ParityLetter();
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    const bool bParityKnown = ToParity(cParity, parity);
    apply(
        settings.m_nBaud > 0, [&] { return m_port.setBaudRate(settings.m_nBaud); },
        QStringLiteral("baud rate %1").arg(settings.m_nBaud));
    apply(
        settings.m_nDataBits >= 5 && settings.m_nDataBits <= 8,
        [&] {
            return m_port.setDataBits(static_cast<QSerialPort::DataBits>(settings.m_nDataBits));
        },
        QStringLiteral("%1 data bits").arg(settings.m_nDataBits));
    apply(
        bParityKnown, [&] { return m_port.setParity(parity); },
        QChar::isPrint(static_cast<uchar>(cParity))
            ? QStringLiteral("parity %1").arg(QLatin1Char(cParity))
            : QStringLiteral("parity 0x%1").arg(uint(uchar(cParity)), 2, 16, QLatin1Char('0')));
    apply(
        settings.m_nStopBits == 1 || settings.m_nStopBits == 2,
        [&] {
            return m_port.setStopBits(settings.m_nStopBits == 2 ? QSerialPort::TwoStop
                                                                : QSerialPort::OneStop);
        },
        QStringLiteral("%1 stop bits").arg(settings.m_nStopBits));
    apply(
        true, [&] { return m_port.setFlowControl(QSerialPort::NoFlowControl); },
        QStringLiteral("no flow control"));
    if (!strRefused.isEmpty())
        qCDebug(lcLink, "%s refused %s (%s)", qUtf8Printable(m_strDevice),
                qUtf8Printable(strRefused), qUtf8Printable(m_port.errorString()));
    m_port.clearError();
    return strRefused;
}

void CSerialTransport::Close()
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    m_port.clearError();
}

void CSerialTransport::Write(const QByteArray& bytes)
{
    m_port.write(bytes);
    // Hand the bytes to the driver now rather than on the next loop pass.
    m_port.flush();
}

void CSerialTransport::Clear()
{
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
}

QByteArray CSerialTransport::DropInput()
{
    QByteArray stale = m_port.readAll();
#ifdef Q_OS_UNIX
    // What the system holds and the port has not fetched yet, read here so
    // that the log can show it.
    char buffer[4096];
    ssize_t nRead = 0;
    while (stale.size() < kMaxDroppedRead &&
           (nRead = ::read(static_cast<int>(m_port.handle()), buffer, sizeof buffer)) > 0)
        stale.append(buffer, nRead);
#endif
    m_port.clear(QSerialPort::Input);
    return stale;
}

bool CSerialTransport::ComesBackUnderItsName() const
{
#ifdef Q_OS_UNIX
    return !m_strDevice.startsWith(QLatin1String("/dev/pts/"));
#else
    return true;
#endif
}

bool CSerialTransport::HungUp(QString& strReason)
{
    if (!m_port.isOpen())
        return false;
#ifdef Q_OS_UNIX
    // Hang-up and error are reported whatever events are asked for.
    pollfd pfd{static_cast<int>(m_port.handle()), 0, 0};
    if (::poll(&pfd, 1, 0) <= 0 || !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return false;
    // What any read or write on it now says.
    strReason = qt_error_string((pfd.revents & POLLNVAL) ? EBADF : EIO);
    return true;
#else
    Q_UNUSED(strReason);
    return false;
#endif
}

void CSerialTransport::OnError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    // A hung-up descriptor reads 0 bytes on every wake-up and the port reports a
    // read error each time; look at the line once the port has returned.
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (!m_port.isOpen())
                return;
            QString strReason;
            if (HungUp(strReason))
                Q_EMIT Lost(strReason);
            else if (error == QSerialPort::ResourceError)
                Q_EMIT Lost(m_port.errorString());
            else
                m_port.clearError();
        },
        Qt::QueuedConnection);
}
