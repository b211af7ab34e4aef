#include "recording/ByteNamedFolder.h"

#include "recording/MakeFolders.h"

#include <QFile>

#include <fcntl.h>
#include <map>
#include <mutex>

bool CByteNamedFolder::DecodesExactly(const QByteArray& raw)
{
    return QFile::encodeName(QFile::decodeName(raw)) == raw;
}

QString CByteNamedFolder::DescriptorPath(const QByteArray& raw)
{
#ifdef Q_OS_LINUX
    static std::mutex mutex;
    static std::map<QByteArray, int> mapOpen; // kept open: the paths handed out name them
    const std::lock_guard lock(mutex);
    auto it = mapOpen.find(raw);
    if (it == mapOpen.end()) {
        if (MakeFolders(raw, 0700) != 0)
            return QString();
        const int nFd = ::open(raw.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (nFd < 0)
            return QString();
        it = mapOpen.emplace(raw, nFd).first;
    }
    return QStringLiteral("/proc/self/fd/%1").arg(it->second);
#else
    return QString();
#endif
}

QString CByteNamedFolder::UserFolder(const char* pszVariable, const QByteArray& homeRelative,
                                     const QString& strBelow, const QString& strQtPath)
{
    QByteArray raw = qgetenv(pszVariable);
    if (!raw.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        if (home.isEmpty())
            return strQtPath;
        raw = home + '/' + homeRelative;
    }
    if (!strBelow.isEmpty())
        raw += '/' + QFile::encodeName(strBelow);
    if (DecodesExactly(raw))
        return strQtPath;
    const QString strExact = DescriptorPath(raw);
    return strExact.isEmpty() ? strQtPath : strExact;
}
