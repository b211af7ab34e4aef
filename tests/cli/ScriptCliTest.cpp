#include "CliRun.h"
#include "sim/PtySimulator.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// tolvex-cli script on a simulator pseudo-terminal: frames by the simulator's log.
class ScriptCliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    CPtySimulator m_sim;
    QString m_strDevice;

    QString WriteScript(const QString& strName, const QByteArray& text)
    {
        const QString strPath = m_dir.filePath(strName);
        QFile file(strPath);
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        return strPath;
    }
    QStringList Frames()
    {
        QStringList arrFrames;
        for (const QByteArray& frame : m_sim.Bus().FrameLog())
            arrFrames << QString::fromLatin1(frame);
        return arrFrames;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_strDevice = m_sim.Start();
        QVERIFY(!m_strDevice.isEmpty());
    }

    void scriptsRun_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("replies"); // stdout without spaces and line breaks
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("error");
        QTest::newRow("js scan") << "scan.JS" << QByteArray("BusScan(31);") << QStringList() << 0
                                 << "30310D0A30330D0A31370D0A" << 32 << "";
        QTest::newRow("--lang js, UTF-8 with BOM")
            << "a.txt" << QByteArray("\xEF\xBB\xBFSend('S01;ADR?;')")
            << QStringList{"--lang", "js", "--wait", "500"} << 0 << "30310D0A" << 1 << "";
        QTest::newRow("js syntax error") << "bad.js" << QByteArray("Send('S01;ADR?;');\n\n)")
                                         << QStringList() << 1 << "" << 0 << "\nLine: 3\n";
        QTest::newRow("js run-time error, replies still waited for")
            << "late.js" << QByteArray("Send('S01;ADR?;');\nfoo();") << QStringList() << 1
            << "30310D0A" << 1 << "Error: 1\n";
        QTest::newRow("vbs scan") << "scan.Vbs" << QByteArray("BusScan 31") << QStringList() << 0
                                  << "30310D0A30330D0A31370D0A" << 32 << "";
        QTest::newRow("--lang vbs, GBK") << "g.txt" << QByteArray("Send \"\xD6\xD0\"")
                                         << QStringList{"--lang", "VBS"} << 0 << "" << 0 << "";
        QTest::newRow("vbs syntax error") << "bad.vbs" << QByteArray("Send \"S01;ADR?;\"\n\nEnd If")
                                          << QStringList() << 1 << "" << 0 << "\nLine: 3\n";
        QTest::newRow("no language")
            << "a.txt" << QByteArray("Send('x')") << QStringList() << 2 << "" << 0 << "vbs or js";
        QTest::newRow("bad --lang") << "a.js" << QByteArray("Send('x')")
                                    << QStringList{"--lang=perl"} << 2 << "" << 0 << "vbs or js";
    }
    void scriptsRun()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, options);
        QFETCH(int, exit);
        QFETCH(QString, replies);
        QFETCH(int, frames);
        QFETCH(QString, error);
        m_sim.Bus().ClearFrameLog();
        const QString strPath = WriteScript(file, text);
        const Result result =
            RunCli(m_dir.path(), QStringList{"--port", m_strDevice, "script", strPath} + options);
        QCOMPARE(result.m_nExit, exit);
        QCOMPARE(QString(result.m_strOut).remove(u' ').remove(u'\n'), replies);
        QCOMPARE(Frames().size(), frames);
        QVERIFY2(result.m_strErr.contains(error), qPrintable(result.m_strErr));
    }

    void anUnreadableFileSendsNothing()
    {
        m_sim.Bus().ClearFrameLog();
        const Result result =
            RunCli(m_dir.path(), {"script", m_dir.filePath("none.js"), "--port", m_strDevice});
        QCOMPARE(result.m_nExit, 2);
        QVERIFY(Frames().isEmpty());
    }

    void signalsStopTheRun_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("js SIGINT")
            << SIGINT << "long.js"
            << QByteArray("Send('S01;ADR?;'); Delay(600000); Send('S03;ADR?;');");
        QTest::newRow("vbs SIGTERM")
            << SIGTERM << "long.vbs"
            << QByteArray("Send \"S01;ADR?;\"\nDelay 600000\nSend \"S03;ADR?;\"");
    }
    void signalsStopTheRun()
    {
        QFETCH(int, signal);
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        m_sim.Bus().ClearFrameLog();
        const QString strPath = WriteScript(file, text);
        QProcess process;
        process.start(BinPath("tolvex-cli"), {"--port", m_strDevice, "script", strPath});
        QTRY_COMPARE_WITH_TIMEOUT(Frames(), QStringList{"S01;ADR?;"}, 20000);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(Frames(), QStringList{"S01;ADR?;"});
    }
};

QTEST_MAIN(ScriptCliTest)
#include "ScriptCliTest.moc"
