#include "FakeDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

CFakeDevice::CFakeDevice()
{
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(m_nMaster);
    ::unlockpt(m_nMaster);
    m_strSlavePath = QString::fromLocal8Bit(::ptsname(m_nMaster));
    // Holding the slave open keeps the master readable while the tool reopens.
    m_nSlaveKeep = ::open(::ptsname(m_nMaster), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(m_nSlaveKeep, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_nSlaveKeep, TCSANOW, &tio);
    m_thread = std::thread([this] { Serve(); });
}

CFakeDevice::~CFakeDevice()
{
    Vanish();
}

void CFakeDevice::SetResponder(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void CFakeDevice::Inject(const QByteArray& bytes)
{
    std::lock_guard lock(m_mutex);
    if (m_nMaster >= 0)
        (void)::write(m_nMaster, bytes.constData(), bytes.size());
}

void CFakeDevice::Vanish()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    if (m_nSlaveKeep >= 0)
        ::close(m_nSlaveKeep);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nSlaveKeep = m_nMaster = -1;
}

QList<QByteArray> CFakeDevice::Frames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

int CFakeDevice::FrameCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_frames.size());
}

void CFakeDevice::Serve()
{
    QByteArray pending;
    while (!m_bStop) {
        pollfd pfd{m_nMaster, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0 || !(pfd.revents & POLLIN))
            continue;
        char buffer[4096];
        const ssize_t n = ::read(m_nMaster, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        pending.append(buffer, n);
        // Wait for the write to go quiet, then take what arrived as one frame.
        pollfd more{m_nMaster, POLLIN, 0};
        if (::poll(&more, 1, 2) > 0)
            continue;
        if (!pending.endsWith(';'))
            continue;
        const QByteArray frame = pending;
        pending.clear();
        Responder responder;
        {
            std::lock_guard lock(m_mutex);
            m_frames.append(frame);
            responder = m_responder;
        }
        if (!responder)
            continue;
        for (const Write& write : responder(frame)) {
            if (write.m_nDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(write.m_nDelayMs));
            if (m_bStop)
                return;
            std::lock_guard lock(m_mutex);
            (void)::write(m_nMaster, write.m_bytes.constData(), write.m_bytes.size());
        }
    }
}
