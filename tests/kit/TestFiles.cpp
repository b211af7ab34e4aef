#include "TestFiles.h"

#include "recording/PatrolFileReader.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "<no file " + strPath.toUtf8() + '>';
    return file.readAll();
}

bool WriteFile(const QString& strPath, const QByteArray& bytes)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QList<qint32> PatrolFileValues(const QString& strPath)
{
    QList<qint32> arrValues;
    qsizetype nTorn = 0;
    CPatrolFileReader::Read(strPath, arrValues, nTorn);
    if (nTorn != 0)
        arrValues.append(INT_MIN);
    return arrValues;
}

CFileSizeLimit::CFileSizeLimit(rlim_t nBytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        return;
    rlimit limit = m_old;
    limit.rlim_cur = nBytes;
    m_bSet = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

CFileSizeLimit::~CFileSizeLimit()
{
    if (m_bSet)
        ::setrlimit(RLIMIT_FSIZE, &m_old);
}

QList<BadFileKind> BadFileKinds()
{
    return {{BadFile::Truncated, "truncated"},
            {BadFile::Sparse2GiB, "sparse 2 GiB"},
            {BadFile::Random, "random bytes"},
            {BadFile::Fifo, "FIFO"},
            {BadFile::Folder, "folder"},
            {BadFile::SymlinkLoop, "symlink loop"},
            {BadFile::EndlessDevice, "endless device"}};
}

bool MakeBadFile(BadFile kind, const QString& strPath, const QByteArray& good)
{
    const QByteArray path = QFile::encodeName(strPath);
    switch (kind) {
    case BadFile::Truncated:
        return WriteFile(strPath, good.left(good.size() / 2));
    case BadFile::Sparse2GiB: {
        const int nFd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool bMade = nFd >= 0 && ::ftruncate(nFd, off_t(2) << 30) == 0;
        if (nFd >= 0)
            ::close(nFd);
        return bMade;
    }
    case BadFile::Random: {
        QByteArray bytes(64 * 1024, '\0');
        QRandomGenerator generator(20);
        for (char& c : bytes)
            c = char(generator.bounded(256));
        return WriteFile(strPath, bytes);
    }
    case BadFile::Fifo:
        return ::mkfifo(path.constData(), 0600) == 0;
    case BadFile::Folder:
        return QDir().mkdir(strPath);
    case BadFile::SymlinkLoop:
        return ::symlink(path.constData(), path.constData()) == 0;
    case BadFile::EndlessDevice:
        return ::symlink("/dev/zero", path.constData()) == 0;
    }
    return false;
}

CAllocationLimit::CAllocationLimit(qint64 nBytes)
{
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // VmSize in /proc/self/status: the address space in use, in KiB.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly) || ::getrlimit(RLIMIT_AS, &m_old) != 0)
        return;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (!line.startsWith("VmSize:"))
            continue;
        const qint64 nKiB = line.mid(7).trimmed().split(' ').value(0).toLongLong();
        rlimit limit = m_old;
        limit.rlim_cur = rlim_t(nKiB * 1024 + nBytes);
        m_bSet = nKiB > 0 && ::setrlimit(RLIMIT_AS, &limit) == 0;
        return;
    }
#else
    Q_UNUSED(nBytes);
#endif
}

CAllocationLimit::~CAllocationLimit()
{
    if (m_bSet)
        ::setrlimit(RLIMIT_AS, &m_old);
}

CUnwritableFolder::CUnwritableFolder(const QString& strPath) : m_path(QFile::encodeName(strPath))
{
    const auto failed = [this](const char* pszStep) {
        m_strWhy = QStringLiteral("root ignores folder modes, and %1 failed: %2")
                       .arg(QLatin1String(pszStep), QString::fromLocal8Bit(std::strerror(errno)));
    };
    if (::geteuid() != 0) {
        if (::chmod(m_path.constData(), 0555) == 0)
            m_nError = EACCES;
        else
            m_strWhy = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    const char* pszPath = m_path.constData();
    const char* pszFailed = nullptr;
    if (::unshare(CLONE_NEWNS) != 0)
        pszFailed = "a mount namespace of our own";
    else if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        pszFailed = "making our mounts private";
    else if (::mount(pszPath, pszPath, nullptr, MS_BIND, nullptr) != 0)
        pszFailed = "a bind mount";
    else {
        m_bMounted = true;
        if (::mount(nullptr, pszPath, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            pszFailed = "a read-only remount";
    }
    if (pszFailed)
        failed(pszFailed);
    else
        m_nError = EROFS;
}

CUnwritableFolder::~CUnwritableFolder()
{
    if (m_bMounted)
        ::umount2(m_path.constData(), MNT_DETACH);
    else if (m_nError == EACCES)
        ::chmod(m_path.constData(), 0755);
}
