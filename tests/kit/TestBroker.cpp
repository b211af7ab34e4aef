#include "TestBroker.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

QString CTestBroker::Program()
{
    return QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                           QStringLiteral("/usr/local/sbin")});
}

CTestBroker::CTestBroker() = default;

CTestBroker::~CTestBroker()
{
    Stop();
}

bool CTestBroker::Start(const QStringList& arrExtraConfig)
{
    if (m_nPort == 0) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return false;
        m_nPort = probe.serverPort();
    }
    QStringList arrConfig{QStringLiteral("listener %1 127.0.0.1").arg(m_nPort),
                          QStringLiteral("persistence true"),
                          QStringLiteral("persistence_location %1/").arg(m_dir.path())};
    // Run as root, mosquitto would drop to a user that cannot write the folder.
    if (::geteuid() == 0)
        arrConfig << QStringLiteral("user root");
    arrConfig << arrExtraConfig;
    if (arrExtraConfig.filter(QStringLiteral("allow_anonymous")).isEmpty())
        arrConfig << QStringLiteral("allow_anonymous true");
    const QString strConfig = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(strConfig);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(arrConfig.join(QLatin1Char('\n')).toUtf8() + '\n');
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("mosquitto.log")),
                                    QIODevice::Append);
    m_process.start(Program(), {QStringLiteral("-c"), strConfig});
    if (!m_process.waitForStarted())
        return false;
    for (int i = 0; i < 200 && m_process.state() == QProcess::Running; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_nPort));
        if (socket.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void CTestBroker::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

CTestSubscriber::CTestSubscriber(int nPort, const QString& strPrefix)
    : m_strPrefix(strPrefix), m_nPort(nPort)
{
    static int s_nId = 0;
    m_process.start(QStringLiteral("mosquitto_sub"),
                    {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                     QString::number(nPort), QStringLiteral("-t"), strPrefix + QStringLiteral("/#"),
                     QStringLiteral("-v"), QStringLiteral("-q"), QStringLiteral("1"),
                     QStringLiteral("-c"), QStringLiteral("-i"),
                     QStringLiteral("sub-%1-%2").arg(::getpid()).arg(++s_nId)});
}

CTestSubscriber::~CTestSubscriber()
{
    m_process.kill();
    m_process.waitForFinished();
}

bool CTestSubscriber::WaitSubscribed()
{
    const QString strMarker = m_strPrefix + QStringLiteral("/ready");
    QProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
               QString::number(m_nPort), QStringLiteral("-t"), strMarker, QStringLiteral("-r"),
               QStringLiteral("-m"), QStringLiteral("1")});
    if (!pub.waitForFinished(10000) || pub.exitCode() != 0)
        return false;
    for (int i = 0; i < 400; ++i) {
        m_partial += m_process.readAllStandardOutput();
        if (m_partial.contains(strMarker.toUtf8() + " 1\n"))
            return true;
        m_process.waitForReadyRead(50);
    }
    return false;
}

QStringList CTestSubscriber::Lines()
{
    m_partial += m_process.readAllStandardOutput();
    const qsizetype nEnd = m_partial.lastIndexOf('\n');
    if (nEnd >= 0) {
        for (const QByteArray& line : m_partial.left(nEnd).split('\n'))
            if (!line.startsWith((m_strPrefix + QStringLiteral("/ready ")).toUtf8()))
                m_arrLines << QString::fromUtf8(line);
        m_partial.remove(0, nEnd + 1);
    }
    return m_arrLines;
}

QStringList CTestSubscriber::Payloads(const QString& strTopic)
{
    QStringList arrPayloads;
    const QString strHead = m_strPrefix + QLatin1Char('/') + strTopic + QLatin1Char(' ');
    for (const QString& strLine : Lines())
        if (strLine.startsWith(strHead))
            arrPayloads << strLine.mid(strHead.size());
    return arrPayloads;
}
