#include "settings/SettingsSetAside.h"

#include "recording/FreeName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

enum class State
{
    Usable, // a regular file of at most kMaxBytes, or missing
    Oversized,
    NotRegular
};

State Check(const QString& strFile, qint64& nSize)
{
    struct stat st
    {
    };
    nSize = 0;
    if (::stat(QFile::encodeName(strFile).constData(), &st) != 0)
        return errno == ELOOP ? State::NotRegular : State::Usable;
    if (!S_ISREG(st.st_mode))
        return State::NotRegular;
    nSize = st.st_size;
    return nSize > CSettingsSetAside::kMaxBytes ? State::Oversized : State::Usable;
}

} // namespace

bool CSettingsSetAside::IsUsable(const QString& strFile)
{
    qint64 nSize = 0;
    return Check(strFile, nSize) == State::Usable;
}

QString CSettingsSetAside::SetAsideName(const QString& strFile, int nNumber)
{
    const QFileInfo info(strFile);
    const QString strSuffix =
        info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".set-aside") +
                               CFreeName::Suffix(nNumber) + strSuffix);
}

QString CSettingsSetAside::SetAsideIfUnusable(const QString& strFile)
{
    qint64 nSize = 0;
    const State state = Check(strFile, nSize);
    if (state == State::Usable)
        return QString();
    if (state == State::NotRegular)
        return QStringLiteral("设置文件 %1 不是普通文件: 使用默认设置, 不保存").arg(strFile);
    const QByteArray from = QFile::encodeName(strFile);
    QString strTo;
    const int nError = CFreeName::Claim([&](int nNumber) {
        strTo = SetAsideName(strFile, nNumber);
        return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD,
                           QFile::encodeName(strTo).constData(), RENAME_NOREPLACE) == 0
                   ? 0
                   : errno;
    });
    if (nError != 0)
        return QStringLiteral("设置文件 %1 过大 (%2 字节), 无法移开 (%3): 使用默认设置, 不保存")
            .arg(strFile)
            .arg(nSize)
            .arg(QString::fromLocal8Bit(std::strerror(nError)));
    return QStringLiteral("设置文件 %1 过大 (%2 字节), 已移到 %3: 使用默认设置")
        .arg(strFile)
        .arg(nSize)
        .arg(strTo);
}
