#pragma once

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <csignal>

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

// A tolvex-sim process that keeps its modules' state across CLI runs; its
// stdin takes ADDR=VALUE lines that set a module's raw signal.
class CSimProcess
{
public:
    explicit CSimProcess(const QStringList& arrArgs)
    {
        m_process.start(BinPath("tolvex-sim"), arrArgs);
        if (m_process.waitForStarted(10000) && m_process.waitForReadyRead(10000))
            m_strDevice = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~CSimProcess()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    QString Device() const { return m_strDevice; }
    void WriteLine(const QByteArray& line)
    {
        m_process.write(line + "\n");
        m_process.waitForBytesWritten(10000);
    }
    void PowerCycle() { ::kill(static_cast<pid_t>(m_process.processId()), SIGUSR1); }

private:
    QProcess m_process;
    QString m_strDevice;
};
