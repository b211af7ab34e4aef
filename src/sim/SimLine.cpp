#include "sim/SimLine.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// Writes to a full line give up after this long: nobody is reading.
constexpr int kWriteStallMs = 200;

} // namespace

CSimLine::CSimLine(CSimBus& bus) : m_bus(bus) {}

CSimLine::~CSimLine()
{
    for (int& fd : m_arrWake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool CSimLine::Init()
{
    if (m_arrWake[0] >= 0)
        return true;
    return ::pipe2(m_arrWake, O_NONBLOCK | O_CLOEXEC) == 0;
}

void CSimLine::Stop()
{
    {
        std::lock_guard lock(m_mutexStop);
        m_bStop = true;
    }
    m_cvStop.notify_all();
    const char cWake = 1;
    [[maybe_unused]] const ssize_t nWritten = ::write(m_arrWake[1], &cWake, 1);
}

void CSimLine::Reset()
{
    char buffer[16];
    while (::read(m_arrWake[0], buffer, sizeof buffer) > 0) {
    }
    std::lock_guard lock(m_mutexStop);
    m_bStop = false;
}

bool CSimLine::WaitReadable(int fd)
{
    while (!m_bStop.load()) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_arrWake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (fds[1].revents != 0)
            return false;
        if (fds[0].revents != 0)
            return true;
    }
    return false;
}

CSimLine::End CSimLine::Serve(int fd, bool bEndOnHangUp)
{
    // Line timing is only as exact as the sleeps: ask for no timer slack.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    char buffer[4096];
    while (!m_bStop.load()) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_arrWake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            break;
        if ((fds[0].revents & POLLIN) == 0) {
            if (bEndOnHangUp)
                return End::Closed;
            // Hang-up or error without data: do not spin on it.
            WaitUntil(CSimBus::Clock::now() + std::chrono::milliseconds(10));
            continue;
        }
        // Everything that has arrived makes up this burst.
        QByteArray input;
        bool bEnded = false;
        for (;;) {
            const ssize_t nRead = ::read(fd, buffer, sizeof buffer);
            if (nRead > 0) {
                input.append(buffer, nRead);
                continue;
            }
            if (nRead < 0 && errno == EINTR)
                continue;
            bEnded = nRead == 0 || (nRead < 0 && errno != EAGAIN);
            break;
        }
        if (bEnded && bEndOnHangUp)
            return End::Closed;
        if (input.isEmpty())
            continue;
        auto tArrived = CSimBus::Clock::now();
        const std::vector<CSimBus::Reply> replies = m_bus.Feed(input, tArrived);
        if (std::exchange(m_bCollided, false))
            continue;
        for (const CSimBus::Reply& reply : replies) {
            Answer(fd, reply, tArrived);
            tArrived = std::max(tArrived, CSimBus::Clock::now());
            if (m_bStop.load())
                break;
        }
    }
    return End::Stopped;
}

void CSimLine::Answer(int fd, const CSimBus::Reply& reply, CSimBus::Clock::time_point tArrived)
{
    using namespace std::chrono;
    const double dWaitMs = m_bus.ReplyWaitMs(reply);
    if (!WaitUntil(tArrived +
                   duration_cast<CSimBus::Clock::duration>(duration<double, std::milli>(dWaitMs))))
        return;
    pollfd waiting = {fd, POLLIN, 0};
    m_bCollided = m_bCollided || (::poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN) != 0);
    if (!reply.m_noise.isEmpty())
        WriteAll(fd, reply.m_noise);
    const QList<QByteArray> arrWrites = reply.Writes();
    for (qsizetype i = 0; i < arrWrites.size(); ++i) {
        if (i > 0 && !WaitUntil(CSimBus::Clock::now() + milliseconds(reply.m_nSplitPauseMs)))
            return;
        WriteAll(fd, arrWrites[i]);
    }
}

bool CSimLine::WaitUntil(CSimBus::Clock::time_point tWhen)
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

void CSimLine::WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype nDone = 0;
    while (nDone < bytes.size()) {
        // A socket whose peer has gone must not raise SIGPIPE.
        ssize_t n = ::send(fd, bytes.constData() + nDone, bytes.size() - nDone, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK)
            n = ::write(fd, bytes.constData() + nDone, bytes.size() - nDone);
        if (n > 0) {
            nDone += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return;
        pollfd pfd = {fd, POLLOUT, 0};
        if (::poll(&pfd, 1, kWriteStallMs) <= 0)
            return; // the queue stays full: the reply is lost, as on a dead line
    }
}
