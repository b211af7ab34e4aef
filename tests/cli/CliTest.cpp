#include "CliRun.h"
#include "settings/ParamsManager.h"
#include "settings/PortMap.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <functional>

class CliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

    Result Cli(const QStringList& arrArgs) { return RunCli(m_config.path(), arrArgs); }

    // A tolvex-sim process; returns its device path.
    QString StartSim(QProcess& sim, const QStringList& arrArgs)
    {
        sim.start(BinPath("tolvex-sim"), arrArgs);
        if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000))
            return QString();
        return QString::fromLocal8Bit(sim.readLine()).trimmed();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QVERIFY(QFile::exists(BinPath("tolvex-cli")));
    }

    void scanFindsTheSimulatedModules()
    {
        const Result result = Cli({"--simulate", "scan", "--last", "20"});
        QCOMPARE(result.m_nExit, 0);
        QCOMPARE(result.m_strOut, QStringLiteral("1\n3\n17\n"));

        const Result none = Cli({"--simulate=9", "scan", "--last", "8"});
        QCOMPARE(none.m_nExit, 1);
        QCOMPARE(none.m_strOut, QString());
    }

    void readPrintsTheParameterSet()
    {
        const Result result = Cli({"--simulate=3", "read", "3"});
        QCOMPARE(result.m_nExit, 0);
        const QStringList lines = result.m_strOut.split('\n', Qt::SkipEmptyParts);
        QStringList names;
        for (const QString& line : lines) {
            QVERIFY2(line.contains('='), qPrintable(line));
            names << line.section('=', 0, 0);
        }
        QCOMPARE(names.join(' '),
                 QStringLiteral("FMD ASF ADI COC COF TAV ICR ZTR ZTS ZSE STR CSM LDW "
                                "LWT NOV CHP GAN RLE RLN IDN"));
        // The read switched the module to binary output first.
        QVERIFY(lines.contains(QStringLiteral("COF=8")));
        const QString idn = lines.last().section('=', 1);
        QCOMPARE(idn.size(), 31);
        QCOMPARE(idn.count(','), 3);
        QCOMPARE(idn.at(3), QLatin1Char(','));

        const Result absent = Cli({"--simulate=3", "read", "9"});
        QCOMPARE(absent.m_nExit, 1);
        QVERIFY2(absent.m_strErr.contains("S09;FMD?;"), qPrintable(absent.m_strErr));
    }

    void readSkipsAnUnsupportedZeroTrackingSpeed()
    {
        QProcess sim;
        const QString strDevice = StartSim(sim, {"--modules", "2", "--fault", "zts-unsupported"});
        QVERIFY(!strDevice.isEmpty());
        const Result result = Cli({"--port", strDevice, "read", "2"});
        QCOMPARE(result.m_nExit, 0);
        QVERIFY(!result.m_strOut.contains("ZTS="));
        QVERIFY(result.m_strOut.contains("ZSE="));
        QVERIFY(result.m_strErr.contains("ZTS"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    void measuredValues()
    {
        const Result result = Cli({"--simulate=1", "msv", "1", "-n", "3"});
        QCOMPARE(result.m_nExit, 0);
        const QStringList lines = result.m_strOut.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        for (const QString& line : lines) {
            bool bOk = false;
            line.toInt(&bOk);
            QVERIFY2(bOk, qPrintable(line));
        }

        // The set-up switches check bytes on with --checksum; paced reads too.
        const Result checked =
            Cli({"--simulate=1", "msv", "1", "-n", "2", "--checksum", "--interval", "50"});
        QCOMPARE(checked.m_nExit, 0);
        QCOMPARE(checked.m_strOut.split('\n', Qt::SkipEmptyParts).size(), 2);
        QCOMPARE(checked.m_strErr, QString());
        QCOMPARE(Cli({"--simulate=1", "msv", "1", "--interval", "x"}).m_nExit, 2);

        const struct
        {
            const char* pszFault;
            QStringList arrArgs;
            const char* pszErr;
        } cases[] = {
            {"drop=1", {"--no-setup"}, "timeout\ntimeout\n"},
            {"corrupt-check", {"--checksum"}, "bad check byte\nbad check byte\n"},
        };
        for (const auto& c : cases) {
            QProcess sim;
            const QString strDevice = StartSim(sim, {"--modules", "1", "--fault", c.pszFault});
            QVERIFY(!strDevice.isEmpty());
            const Result failed =
                Cli(QStringList{"--port", strDevice, "msv", "1", "-n", "2"} + c.arrArgs);
            QCOMPARE(failed.m_nExit, 1);
            QCOMPARE(failed.m_strErr, QString::fromLatin1(c.pszErr));
            QCOMPARE(failed.m_strOut, QString());
            sim.terminate();
            QVERIFY(sim.waitForFinished(10000));
        }
    }

    void sendRawTextAndHex()
    {
        const Result text = Cli({"--simulate=1", "send", "S01;ADR?;", "--wait", "400"});
        QCOMPARE(text.m_nExit, 0);
        QCOMPARE(text.m_strOut, QStringLiteral("30 31 0D 0A\n"));
        const Result hex =
            Cli({"--simulate=1", "send", "--hex", "53 30 31 3B 41 44 52 3F 3B", "--wait", "400"});
        QCOMPARE(hex.m_nExit, 0);
        QCOMPARE(hex.m_strOut, QStringLiteral("30 31 0D 0A\n"));
        QCOMPARE(Cli({"--simulate=1", "send", "--hex", "5G"}).m_nExit, 2);
    }

    void aPortHeldElsewhereIsNamedInUse()
    {
        QProcess sim;
        const QString strDevice = StartSim(sim, {"--modules", "1"});
        QVERIFY(!strDevice.isEmpty());
        // Another program reads values until it is stopped.
        QProcess holder;
        holder.start(BinPath("tolvex-cli"), {"--port", strDevice, "msv", "1", "-n", "0"});
        QVERIFY(holder.waitForStarted(10000));
        QVERIFY(holder.waitForReadyRead(10000));
        const Result held = Cli({"--port", strDevice, "scan"});
        QCOMPARE(held.m_nExit, 2);
        QCOMPARE(held.m_strErr, QStringLiteral("%1: cannot open: in use by pid %2 (tolvex-cli)\n")
                                    .arg(strDevice)
                                    .arg(holder.processId()));
        holder.terminate();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(Cli({"--port", strDevice, "scan", "--last", "1"}).m_strOut, QStringLiteral("1\n"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    void aVanishingDeviceEndsTheCommand_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("counted msv") << QStringList{"msv", "1", "-n", "1000000"};
        QTest::newRow("send --wait") << QStringList{"send", "S01;MSV?;", "--wait", "600000"};
    }
    void aVanishingDeviceEndsTheCommand()
    {
        QFETCH(QStringList, command);
        QProcess sim;
        const QString strDevice = StartSim(sim, {"--modules", "1"});
        QVERIFY(!strDevice.isEmpty());
        QProcess cli;
        cli.setReadChannel(QProcess::StandardError);
        cli.start(BinPath("tolvex-cli"), QStringList{"-v", "--port", strDevice} + command);
        QVERIFY(cli.waitForStarted(10000));
        // Once the log shows the frame on its way, the device goes.
        QByteArray err;
        while (!err.contains("sent S01;MSV?; [53 30 31 3B 4D 53 56 3F 3B]") &&
               cli.waitForReadyRead(10000))
            err += cli.readAll();
        QVERIFY2(err.contains("sent S01;MSV?; [53 30 31 3B 4D 53 56 3F 3B]"), err.constData());
        sim.kill();
        QVERIFY(sim.waitForFinished(10000));
        // Ends by itself long before its count or wait would end it.
        QVERIFY2(cli.waitForFinished(30000), "the command went on after the device vanished");
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1);
        const QString strErr = QString::fromUtf8(err + cli.readAllStandardError());
        QVERIFY2(strErr.contains("tolvex.link: hang-up on " + strDevice), qPrintable(strErr));
        QVERIFY2(strErr.endsWith(strDevice + ": device lost: " + qt_error_string(EIO) + "\n"),
                 qPrintable(strErr));
        QCOMPARE(strErr.count("device lost"), 1);
    }

    void endlessCommandsRideOutALostDevice_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QStringList>("command");
        const QStringList msv{"msv", "1", "-n", "0"};
        const QStringList patrol{"patrol", "--last", "1", "-n", "0"};
        QTest::newRow("msv, pty") << false << msv;
        QTest::newRow("patrol, pty") << false << patrol;
        QTest::newRow("msv, tcp") << true << msv;
        QTest::newRow("patrol, tcp") << true << patrol;
    }
    void endlessCommandsRideOutALostDevice()
    {
        QFETCH(bool, tcp);
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        QStringList arrSimArgs{"--modules", "1"};
        if (tcp)
            arrSimArgs << "--tcp"
                       << "127.0.0.1:0";
        else
            arrSimArgs << "--link" << dir.filePath("ttyBUS");
        QProcess sim;
        const QString strDevice = StartSim(sim, arrSimArgs);
        QVERIFY(!strDevice.isEmpty());
        // The same name again after the restart: the link path, or the same port.
        if (tcp)
            arrSimArgs.last() = strDevice.mid(6);
        const QString strName = tcp ? strDevice : dir.filePath("ttyBUS");

        QProcess cli;
        cli.start(BinPath("tolvex-cli"), QStringList{"--port", strName} + command);
        QVERIFY(cli.waitForStarted(10000));
        QString strOut;
        QString strErr;
        // Waits until a line with a value arrives on stdout, or text on stderr.
        const auto waitFor = [&](const std::function<bool()>& done) {
            QElapsedTimer timer;
            timer.start();
            while (!done() && timer.elapsed() < 30000) {
                cli.waitForReadyRead(200);
                strOut += QString::fromUtf8(cli.readAllStandardOutput());
                strErr += QString::fromUtf8(cli.readAllStandardError());
            }
            return done();
        };
        // msv prints a bare value; a patrol cycle ends with module 1's value.
        const QRegularExpression value(QStringLiteral("^(\\d+ \\d+ - )?-?\\d+$"),
                                       QRegularExpression::MultilineOption);
        const auto hasValue = [&] { return value.match(strOut).hasMatch(); };
        QVERIFY2(waitFor(hasValue), qPrintable(strOut + strErr));

        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QVERIFY2(waitFor([&] { return strErr.contains("waiting for it to come back"); }),
                 qPrintable(strErr));
        QVERIFY2(strErr.contains(strName + ": device lost: "), qPrintable(strErr));
        QVERIFY(cli.state() == QProcess::Running);

        // A pseudo-terminal may get another number; the link path names it again.
        const QString strAgain = StartSim(sim, arrSimArgs);
        QVERIFY(tcp ? strAgain == strDevice : !strAgain.isEmpty());
        QVERIFY2(waitFor([&] { return strErr.contains(strName + ": reconnected\n"); }),
                 qPrintable(strErr));
        strOut.clear();
        QVERIFY2(waitFor(hasValue), qPrintable(strOut + strErr));

        cli.terminate();
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1);
        strErr += QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(strErr.count("device lost"), 1);
        QCOMPARE(strErr.count("reconnected"), 1);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    void verboseLogsTheLink()
    {
        const Result quiet = Cli({"--simulate=1", "msv", "1"});
        QCOMPARE(quiet.m_nExit, 0);
        QCOMPARE(quiet.m_strErr, QString());
        const Result verbose = Cli({"-v", "--simulate=1", "msv", "1"});
        QCOMPARE(verbose.m_nExit, 0);
        for (const char* pszExpected :
             {"tolvex.link: opened", "19200,E,8,1", "sent S01;MSV?; [53 30 31 3B 4D 53 56 3F 3B]",
              "reply (count after"})
            QVERIFY2(verbose.m_strErr.contains(QLatin1String(pszExpected)),
                     qPrintable(verbose.m_strErr));
        QCOMPARE(verbose.m_strOut.count('\n'), 1);
    }

    void storedSettingsAreUsedWithoutPortOption()
    {
        QProcess sim;
        const QString strDevice = StartSim(sim, {"--modules", "4"});
        QVERIFY(!strDevice.isEmpty());
        QVERIFY(CPortMap(QDir(m_config.path()).filePath("Kavro/TolvexSoftware.conf"))
                    .SetDevice(1, strDevice));
        const Result result = Cli({"scan", "--last", "5"});
        QCOMPARE(result.m_nExit, 0);
        QCOMPARE(result.m_strOut, QStringLiteral("4\n"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    void usageErrorsAndUnopenablePorts()
    {
        // One line on stderr naming the problem and where help is; nothing on stdout.
        const QList<QStringList> arrUsageErrors = {{},
                                                   {"--simulate", "frobnicate"},
                                                   {"--simulate", "read"},
                                                   {"--simulate", "read", "x"},
                                                   {"--simulate", "msv", "1", "-n"},
                                                   {"--parity", "X", "scan"},
                                                   {"--data-bits", "9", "scan"},
                                                   {"--port", "/dev/x", "--simulate", "scan"},
                                                   {"--simulate=1,1", "scan"},
                                                   {"--simulate=100", "scan"},
                                                   {"--simulate", "patrol", "--last", "40"}};
        const QRegularExpression reLine(
            QStringLiteral("^tolvex-cli: [^\\n]+; see tolvex-cli --help\\n$"));
        for (const QStringList& arrArgs : arrUsageErrors) {
            const Result result = Cli(arrArgs);
            const QString strCase = arrArgs.join(' ') + " -> " + result.m_strErr;
            QVERIFY2(result.m_nExit == 2, qPrintable(strCase));
            QVERIFY2(reLine.match(result.m_strErr).hasMatch(), qPrintable(strCase));
            QVERIFY2(result.m_strOut.isEmpty(), qPrintable(strCase));
        }
        // The device and the system's reason, not a COM number the user never gave.
        const Result missing = Cli({"--port", "/dev/tolvex-no-such-port", "scan"});
        QCOMPARE(missing.m_nExit, 2);
        QCOMPARE(missing.m_strErr,
                 "/dev/tolvex-no-such-port: cannot open: " + qt_error_string(ENOENT) + "\n");
        const Result denied = Cli({"--port", "/sys/kernel/uevent_seqnum", "scan"});
        QCOMPARE(denied.m_nExit, 2);
        if (denied.m_strErr.contains(qt_error_string(EACCES)))
            QCOMPARE(denied.m_strErr,
                     "/sys/kernel/uevent_seqnum: cannot open: " + qt_error_string(EACCES) +
                         " (add yourself to the group dialout and log in again)\n");
        QCOMPARE(Cli({"--help"}).m_nExit, 0);
    }

    void versionNamesTheBuild()
    {
        const Result result = Cli({"--version"});
        QCOMPARE(result.m_nExit, 0);
        // As the compiler writes the date and time: "Mmm dd yyyy hh:mm:ss".
        const QRegularExpression reVersion(
            QStringLiteral("^tolvex-cli 2\\.0, built [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                           "[0-9]{2}:[0-9]{2}:[0-9]{2}\\n$"));
        QVERIFY2(reVersion.match(result.m_strOut).hasMatch(), qPrintable(result.m_strOut));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "CliTest.moc"
