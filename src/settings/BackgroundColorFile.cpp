#include "settings/BackgroundColorFile.h"

#include "recording/BoundedRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString CBackgroundColorFile::FilePath(const QString& strDir)
{
    // The working folder's file goes by its relative name: a folder name that is
    // not valid in the locale's encoding would not survive a round trip.
    if (strDir.isEmpty())
        return QLatin1String(kFileName);
    return QDir(strDir).filePath(QLatin1String(kFileName));
}

namespace {

// Only a regular file is the colour file: a FIFO, device or folder of that
// name is left alone.
bool IsRegularOrMissing(const QString& strPath)
{
    const QFileInfo info(strPath);
    return !info.exists() || info.isFile();
}

} // namespace

quint32 CBackgroundColorFile::LoadBackgroundColor(const QString& strDir)
{
    // Opened for writing too, as the colour file always is: a file that is
    // read-only for us counts as unreadable. At most the 4 colour bytes are
    // read, without blocking, whatever lies at the path.
    QByteArray bytes;
    if (CBoundedRead::Read(FilePath(strDir), 4, CBoundedRead::Longer::Cut, bytes, O_RDWR) != 0 ||
        bytes.size() != 4)
        return kDefaultColor;
    return qFromLittleEndian<quint32>(bytes.constData());
}

bool CBackgroundColorFile::SaveBackgroundColor(quint32 crColor, const QString& strDir)
{
    const QString strPath = FilePath(strDir);
    if (!IsRegularOrMissing(strPath))
        return false;
    // Written beside and renamed over the old file, so that a full disk keeps
    // the old colour. By the encoded names as given: a relative name works in
    // a working folder whose name is not valid in the locale's encoding.
    const QByteArray path = QFile::encodeName(strPath);
    QByteArray temp = path + ".XXXXXX";
    const int nFd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (nFd < 0)
        return false;
    char bytes[4];
    qToLittleEndian<quint32>(crColor, bytes);
    const bool bWritten = ::write(nFd, bytes, sizeof bytes) == ssize_t(sizeof bytes) &&
                          ::fchmod(nFd, 0644) == 0 && ::fsync(nFd) == 0;
    if (::close(nFd) != 0 || !bWritten || ::rename(temp.constData(), path.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}
