#include "uikit/AppPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

bool CAppPath::GetModulePath(QString& strPath)
{
    QString strFile;
    if (QCoreApplication::instance())
        strFile = QCoreApplication::applicationFilePath();
    if (strFile.isEmpty())
        strFile = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (strFile.isEmpty())
        return false;
    strPath = strFile;
    return true;
}

bool CAppPath::DirectoryOf(const QString& strPath, QString& strDir)
{
    strDir = strPath;
    const qsizetype nSlash = strPath.lastIndexOf(QDir::separator());
    if (nSlash < 0)
        return false;
    strDir = strPath.left(nSlash + 1);
    return true;
}

bool CAppPath::GetProgramDirectory(QString& strDir)
{
    QString strPath;
    if (!GetModulePath(strPath))
        return false;
    return DirectoryOf(strPath, strDir);
}

QString CAppPath::DataFolder()
{
    QString strDir;
    if (GetProgramDirectory(strDir) && QFileInfo(strDir).isWritable())
        return strDir;
    QString strData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(strData);
    if (!strData.endsWith(QLatin1Char('/')))
        strData += QLatin1Char('/');
    return strData;
}
