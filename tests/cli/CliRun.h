#pragma once

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The built programs, and one tolvex-cli run with its own settings folder.
inline QString BinPath(const char* pszName)
{
    return QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath(QString::fromLatin1(pszName));
}

struct Result
{
    int m_nExit = -1;
    QString m_strOut;
    QString m_strErr;
};

inline Result RunCli(const QString& strConfigDir, const QStringList& arrArgs)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), strConfigDir);
    process.setProcessEnvironment(env);
    process.start(BinPath("tolvex-cli"), arrArgs);
    if (!process.waitForFinished(60000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
