#include "CliRun.h"

#include <QTemporaryDir>
#include <QTest>

// A bench calibration from the command line against tolvex-sim: zero at one
// raw signal, full load at another, the nominal value, the measured value it
// gives, and the calibration still there after a power cycle.
class CalibrationSystemTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void calibrateMeasureAndPowerCycle()
    {
        QTemporaryDir config;
        CSimProcess sim({"--modules", "5", "--raw", "5=100000"});
        QVERIFY(!sim.Device().isEmpty());
        const auto cli = [&](const QStringList& arrArgs) {
            return RunCli(config.path(), QStringList{"--port", sim.Device()} + arrArgs);
        };
        QCOMPARE(cli({"calibrate", "5", "zero"}).m_strOut, QStringLiteral("LDW=100000\n"));
        sim.WriteLine("5=600000");
        // The simulator takes the line on its own thread.
        QTRY_COMPARE_WITH_TIMEOUT(cli({"calibrate", "5", "full"}).m_strOut,
                                  QStringLiteral("LWT=600000\n"), 20000);
        const Result nominal = cli({"nominal", "5", "50000"});
        QCOMPARE(nominal.m_nExit, 0);
        QCOMPARE(nominal.m_strOut, QStringLiteral("NOV\nTDD1\n"));
        QCOMPARE(cli({"msv", "5"}).m_strOut, QStringLiteral("50000\n"));

        sim.PowerCycle();
        QTRY_VERIFY_WITH_TIMEOUT(cli({"read", "5"}).m_strOut.contains("LDW=100000\nLWT=600000\n"),
                                 20000);
        const QString strRead = cli({"read", "5"}).m_strOut;
        QVERIFY2(strRead.contains("NOV=50000\n"), qPrintable(strRead));
    }
};

QTEST_GUILESS_MAIN(CalibrationSystemTest)
#include "CalibrationSystemTest.moc"
