#include "TestBroker.h"
#include "TestFiles.h"

#include "link/BusLink.h"
#include "link/MeasuredValuePoll.h"
#include "link/StopFlag.h"
#include "remote/ReadingPublisher.h"
#include "remote/RemoteMonitor.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr int kWaitMs = 20000;

MeasuredReading Value(int nAddress, qint32 nRaw, const QString& strSource)
{
    MeasuredReading reading;
    reading.m_nAddress = nAddress;
    reading.m_nRaw = nRaw;
    reading.m_bOk = true;
    reading.m_strSource = strSource;
    return reading;
}

QJsonObject Json(const QString& strPayload)
{
    return QJsonDocument::fromJson(strPayload.toUtf8()).object();
}

// The seq numbers of a topic's payloads, in the order they arrived.
QList<int> Seqs(CTestSubscriber& subscriber, const QString& strTopic)
{
    QList<int> arrSeqs;
    for (const QString& strPayload : subscriber.Payloads(strTopic))
        arrSeqs << Json(strPayload).value(QStringLiteral("seq")).toInt();
    return arrSeqs;
}

QList<int> Range(int nFirst, int nLast)
{
    QList<int> arr;
    for (int n = nFirst; n <= nLast; ++n)
        arr << n;
    return arr;
}

} // namespace

class CRemoteTest : public QObject
{
    Q_OBJECT

    MqttSettings Settings(const CTestBroker& broker, const QString& strPrefix)
    {
        MqttSettings settings;
        settings.m_strHost = QStringLiteral("127.0.0.1");
        settings.m_nPort = broker.Port();
        settings.m_strPrefix = strPrefix;
        settings.m_strClientId = QStringLiteral("test-") + strPrefix;
        return settings;
    }

    static QString Cli() { return qEnvironmentVariable("TOLVEX_BIN_DIR") + "/tolvex-cli"; }

    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase()
    {
        if (CTestBroker::Program().isEmpty())
            QSKIP("the mosquitto broker is not installed; these tests need one on loopback");
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    // What a reading, a failed read, a patrol cycle and the bus become, from the
    // link's tap to a subscriber; a clean stop leaves "offline" behind.
    void publishesReadingsBusAndStatus()
    {
        CTestBroker broker;
        QVERIFY(broker.Start());
        CTestSubscriber subscriber(broker.Port(), QStringLiteral("t1"));
        QVERIFY(subscriber.WaitSubscribed());

        CBusLink link;
        CRemoteMonitor monitor(link);
        monitor.Start(Settings(broker, QStringLiteral("t1")));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.GetStatus().m_state, CMqttPublisher::State::Connected,
                                  kWaitMs);
        MeasuredReading shown = Value(3, 123456, QStringLiteral("param"));
        shown.m_strValue = QStringLiteral("12.3456");
        shown.m_strUnit = QStringLiteral("kg");
        link.Readings().Report(shown);
        link.Readings().Report(Value(3, -7, QStringLiteral("realtime")));
        // A read on the closed port, through the one polling procedure.
        std::atomic<bool> bStop{false};
        CStopFlag stop(bStop);
        CMeasuredValuePoll poll(link, stop);
        poll.SetSource(QStringLiteral("patrol"));
        qint32 nValue = 0;
        poll.Read(3, 1, std::nullopt, nValue);
        poll.ReportCycle(812, 31);
        QCOMPARE(monitor.Stop(), 0u);

        QTRY_COMPARE_WITH_TIMEOUT(subscriber.Payloads(QStringLiteral("status")),
                                  QStringList({"online", "offline"}), kWaitMs);
        const QStringList arrValues = subscriber.Payloads(QStringLiteral("ad/3/value"));
        QCOMPARE(arrValues.size(), 2);
        const QRegularExpression time(
            QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
        QJsonObject value = Json(arrValues[0]);
        QVERIFY2(time.match(value.take(QStringLiteral("time")).toString()).hasMatch(),
                 qPrintable(arrValues[0]));
        QCOMPARE(value, Json(R"({"addr":3,"seq":1,"raw":123456,"value":"12.3456","unit":"kg",
                                  "source":"param"})"));
        value = Json(arrValues[1]);
        value.remove(QStringLiteral("time"));
        QCOMPARE(value, Json(R"({"addr":3,"seq":2,"raw":-7,"source":"realtime"})"));
        const QStringList arrErrors = subscriber.Payloads(QStringLiteral("ad/3/error"));
        QCOMPARE(arrErrors.size(), 1);
        QJsonObject error = Json(arrErrors[0]);
        error.remove(QStringLiteral("time"));
        QCOMPARE(error, Json(R"({"addr":3,"seq":3,"reason":"port closed","source":"patrol"})"));
        QJsonObject cycle = Json(subscriber.Payloads(QStringLiteral("patrol/cycle")).value(0));
        cycle.remove(QStringLiteral("time"));
        QCOMPARE(cycle, Json(R"({"ms":812,"last":31})"));
        QCOMPARE(Json(subscriber.Payloads(QStringLiteral("bus")).value(0)),
                 Json(R"({"device":"","baud":19200,"parity":"E","data_bits":8,"stop_bits":1,
                          "open":false})"));
    }

    // A publisher that vanishes without a word leaves its last will.
    void lastWillOnKill()
    {
        CTestBroker broker;
        QVERIFY(broker.Start());
        CTestSubscriber subscriber(broker.Port(), QStringLiteral("t2"));
        QVERIFY(subscriber.WaitSubscribed());
        QProcess cli;
        cli.start(Cli(),
                  {QStringLiteral("--simulate=1"), QStringLiteral("msv"), QStringLiteral("1"),
                   QStringLiteral("-n"), QStringLiteral("0"), QStringLiteral("--mqtt"),
                   QStringLiteral("127.0.0.1:%1").arg(broker.Port()), QStringLiteral("--topic"),
                   QStringLiteral("t2")});
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.Payloads(QStringLiteral("ad/1/value")).size() >= 3,
                                 kWaitMs);
        QCOMPARE(subscriber.Payloads(QStringLiteral("status")), QStringList{"online"});
        QCOMPARE(Json(subscriber.Payloads(QStringLiteral("ad/1/value"))[0])
                     .value(QStringLiteral("source")),
                 QStringLiteral("cli"));
        cli.kill();
        QVERIFY(cli.waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.Payloads(QStringLiteral("status")),
                                  QStringList({"online", "offline"}), kWaitMs);
    }

    // tolvex-cli tells each change of the connection on stderr, once: a
    // broker that was never reached is not a lost connection.
    void cliTellsEachStateChange()
    {
        CTestBroker broker;
        QVERIFY(broker.Start());
        broker.Stop();
        QProcess cli;
        cli.start(Cli(),
                  {QStringLiteral("--simulate=1"), QStringLiteral("msv"), QStringLiteral("1"),
                   QStringLiteral("-n"), QStringLiteral("0"), QStringLiteral("--mqtt"),
                   QStringLiteral("127.0.0.1:%1").arg(broker.Port())});
        QString strErr;
        const auto lines = [&] {
            strErr += QString::fromUtf8(cli.readAllStandardError());
            return strErr.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            lines(), QStringList{"mqtt: cannot connect: connection refused; retrying"}, kWaitMs);
        QVERIFY(broker.Start());
        QTRY_COMPARE_WITH_TIMEOUT(lines().value(1), QStringLiteral("mqtt: connected"), kWaitMs);
        broker.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(lines().size() == 3, kWaitMs);
        QVERIFY2(lines()[2].startsWith("mqtt: connection lost: ") &&
                     lines()[2].endsWith("; retrying"),
                 qPrintable(strErr));
        cli.kill();
        QVERIFY(cli.waitForFinished());
    }

    // Readings taken while the broker is away wait, and arrive in order
    // without a gap once it is back.
    void keepsReadingsWhileBrokerAway()
    {
        CTestBroker broker;
        QVERIFY(broker.Start());
        CTestSubscriber subscriber(broker.Port(), QStringLiteral("t3"));
        QVERIFY(subscriber.WaitSubscribed());
        CBusLink link;
        CRemoteMonitor monitor(link);
        monitor.Start(Settings(broker, QStringLiteral("t3")));
        QTRY_COMPARE_WITH_TIMEOUT(monitor.GetStatus().m_state, CMqttPublisher::State::Connected,
                                  kWaitMs);
        for (int i = 0; i < 5; ++i)
            link.Readings().Report(Value(2, i, QStringLiteral("cli")));
        QTRY_COMPARE_WITH_TIMEOUT(Seqs(subscriber, QStringLiteral("ad/2/value")), Range(1, 5),
                                  kWaitMs);
        broker.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(monitor.GetStatus().m_state, CMqttPublisher::State::Reconnecting,
                                  kWaitMs);
        for (int i = 0; i < 20; ++i)
            link.Readings().Report(Value(2, i, QStringLiteral("cli")));
        QCOMPARE(monitor.GetStatus().m_nQueued, 20u);
        QVERIFY(broker.Start());
        QTRY_COMPARE_WITH_TIMEOUT(Seqs(subscriber, QStringLiteral("ad/2/value")), Range(1, 25),
                                  kWaitMs);
        QCOMPARE(monitor.GetStatus().m_nDropped, 0u);
    }

    // A full queue drops its oldest messages and counts them.
    void dropsOldestWhenFull()
    {
        CTestBroker broker;
        QVERIFY(broker.Start());
        {
            CTestSubscriber subscriber(broker.Port(), QStringLiteral("t4"));
            QVERIFY(subscriber.WaitSubscribed());
        }
        broker.Stop();
        MqttSettings settings = Settings(broker, QStringLiteral("t4"));
        settings.m_nQueueLimit = 10;
        CReadingPublisher publisher;
        publisher.Start(settings);
        for (int i = 0; i < 15; ++i)
            publisher.OnReading(Value(4, i, QStringLiteral("cli")));
        QCOMPARE(publisher.Publisher().GetStatus().m_nDropped, 5u);
        QCOMPARE(publisher.Publisher().GetStatus().m_nQueued, 10u);
        QVERIFY(broker.Start());
        CTestSubscriber subscriber(broker.Port(), QStringLiteral("t4"));
        QTRY_COMPARE_WITH_TIMEOUT(Seqs(subscriber, QStringLiteral("ad/4/value")), Range(6, 15),
                                  kWaitMs);
        QCOMPARE(publisher.Stop(2000), 0u);
    }

    // A wrong password is told in words, and not tried again and again.
    void wrongPasswordRefused()
    {
        CTestBroker broker;
        const QString strPasswords = broker.Folder() + QStringLiteral("/passwords");
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                   {QStringLiteral("-c"), QStringLiteral("-b"), strPasswords,
                                    QStringLiteral("bench"), QStringLiteral("right")}),
                 0);
        QVERIFY(broker.Start({QStringLiteral("allow_anonymous false"),
                              QStringLiteral("password_file ") + strPasswords}));
        CBusLink link;
        CRemoteMonitor monitor(link);
        MqttSettings settings = Settings(broker, QStringLiteral("t5"));
        settings.m_strUser = QStringLiteral("bench");
        settings.m_strPassword = QStringLiteral("wrong");
        monitor.Start(settings);
        QTRY_COMPARE_WITH_TIMEOUT(monitor.GetStatus().m_state, CMqttPublisher::State::Refused,
                                  kWaitMs);
        const CMqttPublisher::Status status = monitor.GetStatus();
        QVERIFY2(QStringList({"用户名或密码错误", "未获授权"})
                     .contains(CMqttPublisher::StateText(status)),
                 qPrintable(CMqttPublisher::StateText(status)));
        QCOMPARE(status.m_nAttempt, 0);
    }

    // TLS with certificates made here: a server the CA vouches for is taken,
    // one it does not is refused in words.
    void tlsTrustsOnlyItsCa()
    {
        CTestBroker broker;
        const QString strDir = broker.Folder();
        const auto openssl = [&](const QString& strArgs) {
            QProcess process;
            process.setWorkingDirectory(strDir);
            process.start(QStringLiteral("openssl"), strArgs.split(QLatin1Char(' ')));
            return process.waitForFinished(kWaitMs) && process.exitCode() == 0;
        };
        const QString strKey = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                              "-nodes -days 2 -keyout ");
        QVERIFY(WriteFile(strDir + "/san.ext", "subjectAltName=IP:127.0.0.1\n"));
        QVERIFY(openssl("req -x509 " + strKey + "ca.key -out ca.crt -subj /CN=TestCA"));
        QVERIFY(openssl("req -x509 " + strKey + "other.key -out other.crt -subj /CN=OtherCA"));
        QVERIFY(openssl("req " + strKey + "server.key -out server.csr -subj /CN=127.0.0.1"));
        QVERIFY(openssl("x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
                        "-days 2 -extfile san.ext -out server.crt"));
        QVERIFY(broker.Start({"cafile " + strDir + "/ca.crt", "certfile " + strDir + "/server.crt",
                              "keyfile " + strDir + "/server.key"}));
        for (const QString& strCa : {QStringLiteral("ca.crt"), QStringLiteral("other.crt")}) {
            CBusLink link;
            CRemoteMonitor monitor(link);
            MqttSettings settings = Settings(broker, QStringLiteral("t6"));
            settings.m_bTls = true;
            settings.m_strCaFile = strDir + '/' + strCa;
            QVERIFY(settings.Check().m_strField.isEmpty());
            monitor.Start(settings);
            if (strCa == QLatin1String("ca.crt")) {
                QTRY_COMPARE_WITH_TIMEOUT(monitor.GetStatus().m_state,
                                          CMqttPublisher::State::Connected, kWaitMs);
                continue;
            }
            QTRY_COMPARE_WITH_TIMEOUT(monitor.GetStatus().m_strError,
                                      QStringLiteral("服务器证书不受信任"), kWaitMs);
            QVERIFY(monitor.GetStatus().m_state != CMqttPublisher::State::Connected);
        }
    }

    void cliUsageErrors_data()
    {
        QTest::addColumn<QStringList>("arrOptions");
        QTest::addColumn<QString>("strMessage");
        QTest::newRow("port") << QStringList{"--mqtt", "127.0.0.1:70000"} << "HOST[:PORT]";
        QTest::newRow("no broker") << QStringList{"--topic", "x"} << "--topic needs --mqtt";
        QTest::newRow("prefix") << QStringList{"--mqtt", "127.0.0.1", "--topic", "a/#"}
                                << "must not hold";
        QTest::newRow("password file")
            << QStringList{"--mqtt", "127.0.0.1", "--mqtt-password-file", "/nonexistent/pw"}
            << "cannot read /nonexistent/pw";
        QTest::newRow("ca") << QStringList{"--mqtt", "127.0.0.1", "--tls-ca", "/nonexistent/ca"}
                            << "--tls-ca";
        QTest::newRow("qos") << QStringList{"--mqtt", "127.0.0.1", "--qos", "2"}
                             << "--qos takes 0 or 1";
    }

    // Usage errors end before anything is sent, with exit code 2.
    void cliUsageErrors()
    {
        QFETCH(QStringList, arrOptions);
        QFETCH(QString, strMessage);
        QProcess cli;
        cli.start(Cli(), QStringList{"--port", "/nonexistent/tty", "msv", "1"} + arrOptions);
        QVERIFY(cli.waitForFinished(kWaitMs));
        QCOMPARE(cli.exitCode(), 2);
        const QString strErr = QString::fromUtf8(cli.readAllStandardError());
        QVERIFY2(strErr.contains(strMessage), qPrintable(strErr));
    }
};

QTEST_GUILESS_MAIN(CRemoteTest)
#include "RemoteTest.moc"
