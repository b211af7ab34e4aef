#include "sim/PtySimulator.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString SystemError(const char* pszWhat)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(pszWhat),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

void CloseFd(int& nFd)
{
    if (nFd >= 0)
        ::close(nFd);
    nFd = -1;
}

// Writes to a full pty give up after this long: nobody is reading the slave.
constexpr int kWriteStallMs = 200;

} // namespace

CPtySimulator::CPtySimulator(const SimOptions& options)
    : m_bus(options), m_bLineTiming(options.m_bLineTiming), m_nBaud(options.m_nBaud),
      m_dTurnaroundMs(options.m_dTurnaroundMs)
{
}

CPtySimulator::~CPtySimulator()
{
    Stop();
}

QString CPtySimulator::Start(const QString& strLinkPath)
{
    if (m_bRunning.load())
        return m_strSlavePath;
    m_strError.clear();

    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_nMaster < 0 || ::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0) {
        m_strError = SystemError("cannot open a pseudo-terminal");
        CloseFd(m_nMaster);
        return QString();
    }
    char szName[256] = {};
    if (::ptsname_r(m_nMaster, szName, sizeof szName) != 0) {
        m_strError = SystemError("ptsname");
        CloseFd(m_nMaster);
        return QString();
    }
    m_strSlavePath = QString::fromLocal8Bit(szName);

    // Our own slave descriptor keeps the master from seeing a hang-up while the
    // tool closes and reopens the device; it is never read.
    m_nSlave = ::open(szName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_nSlave < 0 || ::tcgetattr(m_nSlave, &tio) != 0) {
        m_strError = SystemError("cannot open the pseudo-terminal slave");
        CloseFd(m_nSlave);
        CloseFd(m_nMaster);
        return QString();
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(m_nSlave, TCSANOW, &tio);
    ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_nMaster, F_SETFD, FD_CLOEXEC);

    if (::pipe2(m_arrWake, O_NONBLOCK | O_CLOEXEC) != 0) {
        m_strError = SystemError("pipe");
        CloseFd(m_nSlave);
        CloseFd(m_nMaster);
        return QString();
    }

    if (!strLinkPath.isEmpty()) {
        // Made beside the target and renamed over it, so an old link is
        // replaced in one step.
        const QByteArray link = QFile::encodeName(strLinkPath);
        const QByteArray temp = link + ".tmp" + QByteArray::number(::getpid());
        ::unlink(temp.constData());
        if (::symlink(szName, temp.constData()) != 0 ||
            ::rename(temp.constData(), link.constData()) != 0) {
            m_strError = SystemError("cannot create the link");
            ::unlink(temp.constData());
            CloseFd(m_arrWake[0]);
            CloseFd(m_arrWake[1]);
            CloseFd(m_nSlave);
            CloseFd(m_nMaster);
            return QString();
        }
        m_strLinkPath = strLinkPath;
    }

    m_bStop = false;
    m_bRunning = true;
    m_thread = std::thread(&CPtySimulator::Serve, this);
    return m_strSlavePath;
}

void CPtySimulator::Stop()
{
    if (!m_bRunning.load())
        return;
    {
        std::lock_guard lock(m_mutexStop);
        m_bStop = true;
    }
    m_cvStop.notify_all();
    const char cWake = 1;
    [[maybe_unused]] const ssize_t nWritten = ::write(m_arrWake[1], &cWake, 1);
    m_thread.join();

    CloseFd(m_arrWake[0]);
    CloseFd(m_arrWake[1]);
    CloseFd(m_nSlave);
    CloseFd(m_nMaster);

    // Only a link that still points at our slave is ours to remove.
    if (!m_strLinkPath.isEmpty()) {
        if (QFileInfo(m_strLinkPath).symLinkTarget() == m_strSlavePath)
            QFile::remove(m_strLinkPath);
        m_strLinkPath.clear();
    }
    m_bRunning = false;
}

void CPtySimulator::Serve()
{
    // Line timing is only as exact as the sleeps: ask for no timer slack.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    char buffer[4096];
    while (!m_bStop.load()) {
        pollfd fds[2] = {{m_nMaster, POLLIN, 0}, {m_arrWake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            break;
        if ((fds[0].revents & POLLIN) == 0) {
            // Hang-up or error without data: do not spin on it.
            WaitUntil(CSimBus::Clock::now() + std::chrono::milliseconds(10));
            continue;
        }
        // Everything that has arrived makes up this burst.
        QByteArray input;
        for (;;) {
            const ssize_t nRead = ::read(m_nMaster, buffer, sizeof buffer);
            if (nRead > 0) {
                input.append(buffer, nRead);
                continue;
            }
            if (nRead < 0 && errno == EINTR)
                continue;
            break;
        }
        if (input.isEmpty())
            continue;
        auto tArrived = CSimBus::Clock::now();
        for (const CSimBus::Reply& reply : m_bus.Feed(input, tArrived)) {
            Answer(reply, tArrived);
            tArrived = std::max(tArrived, CSimBus::Clock::now());
            if (m_bStop.load())
                break;
        }
    }
}

void CPtySimulator::Answer(const CSimBus::Reply& reply, CSimBus::Clock::time_point tArrived)
{
    using namespace std::chrono;
    double dWaitMs = m_dTurnaroundMs + reply.m_nDelayMs;
    if (m_bLineTiming && m_nBaud > 0) {
        const qsizetype nBytes =
            reply.m_nCommandBytes + reply.m_noise.size() + reply.m_bytes.size();
        dWaitMs += nBytes * 11 * 1000.0 / m_nBaud;
    }
    if (!WaitUntil(tArrived +
                   duration_cast<CSimBus::Clock::duration>(duration<double, std::milli>(dWaitMs))))
        return;
    if (!reply.m_noise.isEmpty())
        WriteAll(reply.m_noise);
    if (!reply.m_bSplit) {
        WriteAll(reply.m_bytes);
        return;
    }
    for (qsizetype i = 0; i < reply.m_bytes.size(); ++i) {
        if (i > 0 && !WaitUntil(CSimBus::Clock::now() + milliseconds(reply.m_nSplitPauseMs)))
            return;
        WriteAll(reply.m_bytes.mid(i, 1));
    }
}

bool CPtySimulator::WaitUntil(CSimBus::Clock::time_point tWhen)
{
    // Sleep most of the way, then spin the last stretch: waking from a sleep
    // costs tens of microseconds, which would stretch every simulated byte time.
    constexpr auto kSpin = std::chrono::microseconds(300);
    {
        std::unique_lock lock(m_mutexStop);
        if (m_cvStop.wait_until(lock, tWhen - kSpin, [this] { return m_bStop.load(); }))
            return false;
    }
    while (CSimBus::Clock::now() < tWhen)
        if (m_bStop.load())
            return false;
    return true;
}

void CPtySimulator::WriteAll(const QByteArray& bytes)
{
    qsizetype nDone = 0;
    while (nDone < bytes.size()) {
        const ssize_t n = ::write(m_nMaster, bytes.constData() + nDone, bytes.size() - nDone);
        if (n > 0) {
            nDone += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return;
        pollfd fd = {m_nMaster, POLLOUT, 0};
        if (::poll(&fd, 1, kWriteStallMs) <= 0)
            return; // the slave's queue stays full: the reply is lost, as on a dead line
    }
}
