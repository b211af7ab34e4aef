#include "sim/PtySimulator.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

} // namespace

CPtySimulator::CPtySimulator(const SimOptions& options) : m_bus(options), m_line(m_bus) {}

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

    if (!m_line.Init()) {
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
            CloseFd(m_nSlave);
            CloseFd(m_nMaster);
            return QString();
        }
        m_strLinkPath = strLinkPath;
    }

    m_line.Reset();
    m_bRunning = true;
    m_thread = std::thread([this] { m_line.Serve(m_nMaster, false); });
    return m_strSlavePath;
}

void CPtySimulator::Stop()
{
    if (!m_bRunning.load())
        return;
    m_line.Stop();
    m_thread.join();

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
