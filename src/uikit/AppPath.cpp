#include "uikit/AppPath.h"

#include "recording/ByteNamedFolder.h"

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
    // The program's own path decoded wrongly names no writable folder, so a
    // program folder that is not valid UTF-8 ends here too.
    const QString strOrganization = QCoreApplication::organizationName();
    const QString strApplication = QCoreApplication::applicationName();
    const QString strBelow = strOrganization.isEmpty()
                                 ? strApplication
                                 : strOrganization + QLatin1Char('/') + strApplication;
    QString strData = CByteNamedFolder::UserFolder(
        "XDG_DATA_HOME", ".local/share", strBelow,
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QDir().mkpath(strData);
    if (!strData.endsWith(QLatin1Char('/')))
        strData += QLatin1Char('/');
    return strData;
}
