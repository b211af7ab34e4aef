#include "settings/BackgroundColorFile.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

QString CBackgroundColorFile::FilePath(const QString& strDir)
{
    const QDir dir(strDir.isEmpty() ? QDir::currentPath() : strDir);
    return dir.filePath(QLatin1String(kFileName));
}

quint32 CBackgroundColorFile::LoadBackgroundColor(const QString& strDir)
{
    QFile file(FilePath(strDir));
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
    QFile file(FilePath(strDir));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    char bytes[4];
    qToLittleEndian<quint32>(crColor, bytes);
    if (file.write(bytes, sizeof bytes) != static_cast<qint64>(sizeof bytes))
        return false;
    return file.flush();
}
