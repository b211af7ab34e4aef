#include "RawPty.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

CRawPty::CRawPty()
{
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_nMaster < 0 || ::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0) {
        Close();
        return;
    }
    m_strSlavePath = QString::fromLocal8Bit(::ptsname(m_nMaster));
    // Held open so the device stays while the tool closes and reopens it.
    m_nSlave = ::open(m_strSlavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (m_nSlave >= 0 && ::tcgetattr(m_nSlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_nSlave, TCSANOW, &tio);
    }
}

CRawPty::~CRawPty()
{
    Close();
}

bool CRawPty::Write(const QByteArray& bytes)
{
    qsizetype nDone = 0;
    while (nDone < bytes.size() && m_nMaster >= 0) {
        const ssize_t n = ::write(m_nMaster, bytes.constData() + nDone, bytes.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += n;
    }
    return nDone == bytes.size();
}

QByteArray CRawPty::ReadAvailable()
{
    QByteArray bytes;
    char buffer[4096];
    pollfd pfd{m_nMaster, POLLIN, 0};
    while (m_nMaster >= 0 && ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN)) {
        const ssize_t n = ::read(m_nMaster, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

void CRawPty::Close()
{
    if (m_nSlave >= 0)
        ::close(m_nSlave);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nSlave = -1;
    m_nMaster = -1;
}
