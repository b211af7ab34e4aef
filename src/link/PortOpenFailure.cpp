#include "link/PortOpenFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

QString CPortOpenFailure::SystemText(int nError)
{
    return qt_error_string(nError);
}

QString CPortOpenFailure::Hint(int nError)
{
    return nError == EACCES ? QStringLiteral("(add yourself to the group dialout and log in again)")
                            : QString();
}

QString CPortOpenFailure::Text() const
{
    QString strReason;
    if (!m_strRefusedSetting.isEmpty())
        strReason = QStringLiteral("the port refused %1 (%2)")
                        .arg(m_strRefusedSetting, SystemText(m_nError));
    else if (m_bInUse)
        strReason = m_strHolder.isEmpty() ? QStringLiteral("in use (%1)").arg(SystemText(m_nError))
                                          : QStringLiteral("in use by %1").arg(m_strHolder);
    else if (!m_strReason.isEmpty())
        strReason = m_strReason;
    else
        strReason = SystemText(m_nError);
    const QString strHint = Hint(m_nError);
    return QStringLiteral("%1: cannot open: %2%3")
        .arg(m_strDevice, strReason, strHint.isEmpty() ? QString() : QLatin1Char(' ') + strHint);
}

CPortOpenFailure CPortOpenFailure::Refused(const QString& strDevice, const QString& strSetting)
{
    CPortOpenFailure failure;
    failure.m_strDevice = strDevice;
    failure.m_nError = EINVAL;
    failure.m_strRefusedSetting = strSetting;
    return failure;
}

CPortOpenFailure CPortOpenFailure::Probe(const QString& strDevice, bool bLockRefused,
                                         bool bNotFound)
{
    CPortOpenFailure failure;
    failure.m_strDevice = strDevice;
#ifdef Q_OS_UNIX
    Q_UNUSED(bNotFound);
    const int fd = ::open(QFile::encodeName(strDevice).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        failure.m_nError = errno;
    } else {
        const bool bTerminal = ::isatty(fd) != 0;
        ::close(fd);
        // It opens for us: either it is no serial device, or a lock file of
        // another program kept the port from opening it.
        failure.m_nError = !bTerminal ? ENOTTY : bLockRefused ? EBUSY : EIO;
    }
    failure.m_strHolder = LockHolder(strDevice);
#else
    failure.m_nError = bLockRefused ? EACCES : bNotFound ? ENOENT : EIO;
#endif
    failure.m_bInUse = failure.m_nError == EBUSY || !failure.m_strHolder.isEmpty();
    if (failure.m_bInUse)
        failure.m_nError = EBUSY;
    return failure;
}

#ifdef Q_OS_UNIX
QString CPortOpenFailure::LockHolder(const QString& strDevice)
{
    // The UUCP lock names in use: "LCK.." and the device path without /dev/,
    // slashes made underscores ("LCK..ttyUSB0", "LCK..pts_3"), or its file name.
    QStringList arrNames;
    for (const QString& strPath : {strDevice, QFileInfo(strDevice).canonicalFilePath()}) {
        if (strPath.isEmpty())
            continue;
        QString strName = strPath;
        if (strName.startsWith(QLatin1String("/dev/")))
            strName.remove(0, 5);
        strName.replace(QLatin1Char('/'), QLatin1Char('_'));
        arrNames << QStringLiteral("LCK..") + strName
                 << QStringLiteral("LCK..") + QFileInfo(strPath).fileName();
    }
    arrNames.removeDuplicates();
    static const char* const kDirs[] = {"/var/lock",        "/run/lock",        "/etc/locks",
                                        "/var/spool/locks", "/var/spool/uucp",  "/tmp",
                                        "/var/tmp",         "/var/lock/lockdev"};
    for (const char* pszDir : kDirs) {
        for (const QString& strName : arrNames) {
            QFile file(QDir(QLatin1String(pszDir)).filePath(strName));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            // Binary locks hold the pid as an int, text locks as a number first.
            const QByteArray content = file.read(128);
            bool bOk = false;
            qint64 nPid = content.simplified().split(' ').value(0).toLongLong(&bOk);
            if (!bOk && content.size() >= qsizetype(sizeof(int))) {
                int nBinary = 0;
                std::memcpy(&nBinary, content.constData(), sizeof nBinary);
                nPid = nBinary;
                bOk = true;
            }
            if (!bOk || nPid <= 0 || nPid > INT_MAX)
                continue;
            if (::kill(static_cast<pid_t>(nPid), 0) != 0 && errno != EPERM)
                continue; // a stale lock
            QFile comm(QStringLiteral("/proc/%1/comm").arg(nPid));
            const QString strCommand = comm.open(QIODevice::ReadOnly)
                                           ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                           : QString();
            return strCommand.isEmpty() ? QStringLiteral("pid %1").arg(nPid)
                                        : QStringLiteral("pid %1 (%2)").arg(nPid).arg(strCommand);
        }
    }
    return QString();
}
#endif
