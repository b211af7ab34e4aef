#include "settings/BackgroundColorFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

QString CBackgroundColorFile::FilePath(const QString& strDir)
{
    // The working folder's file goes by its relative name: a folder name that is
    // not valid in the locale's encoding would not survive a round trip.
    if (strDir.isEmpty())
        return QLatin1String(kFileName);
    return QDir(strDir).filePath(QLatin1String(kFileName));
}

namespace {

// Only a regular file is the colour file: opening a FIFO of that name would
// block, and a device or folder holds no colour.
bool IsRegularOrMissing(const QString& strPath, bool& bExists)
{
    const QFileInfo info(strPath);
    bExists = info.exists();
    return !bExists || info.isFile();
}

} // namespace

quint32 CBackgroundColorFile::LoadBackgroundColor(const QString& strDir)
{
    const QString strPath = FilePath(strDir);
    bool bExists = false;
    if (!IsRegularOrMissing(strPath, bExists) || !bExists)
        return kDefaultColor;
    QFile file(strPath);
    // Opened for writing too, as the colour file always is: a file that is
    // read-only for us counts as unreadable. ExistingOnly keeps a missing
    // file from being created here.
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return kDefaultColor;
    char bytes[4];
    if (file.read(bytes, sizeof bytes) != static_cast<qint64>(sizeof bytes))
        return kDefaultColor;
    return qFromLittleEndian<quint32>(bytes);
}

bool CBackgroundColorFile::SaveBackgroundColor(quint32 crColor, const QString& strDir)
{
    const QString strPath = FilePath(strDir);
    bool bExists = false;
    if (!IsRegularOrMissing(strPath, bExists))
        return false;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    char bytes[4];
    qToLittleEndian<quint32>(crColor, bytes);
    if (file.write(bytes, sizeof bytes) != static_cast<qint64>(sizeof bytes))
        return false;
    return file.flush();
}
