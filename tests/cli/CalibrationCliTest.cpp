#include "CliRun.h"

#include <QTemporaryDir>
#include <QTest>

// calibrate, nominal and linearise of tolvex-cli: output, exit codes, and
// that a refused value sends nothing.
class CalibrationCliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

    Result On(const CSimProcess& sim, const QStringList& arrArgs)
    {
        return RunCli(m_config.path(),
                      QStringList{QStringLiteral("--port"), sim.Device()} + arrArgs);
    }

private Q_SLOTS:
    void refusalsSendNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("strError");
        auto row = [](const char* pszName, const QStringList& args, const char* pszError) {
            QTest::newRow(pszName) << args << QString::fromLatin1(pszError);
        };
        row("equal points", {"calibrate", "5", "points", "10", "10", "1"},
            "tolvex-cli: LWT must be greater than LDW\n");
        row("LWT below", {"calibrate", "5", "points", "-1", "-2", "1"},
            "tolvex-cli: LWT must be greater than LDW\n");
        row("bad value", {"calibrate", "5", "points", "1", "2x", "3"}, "not a 32-bit integer: 2x");
        row("beyond 32 bits", {"nominal", "5", "2147483648"}, "not a 32-bit integer: 2147483648");
        row("count 9", {"linearise", "5", "count", "9"}, "count must be 4 to 8");
        row("index 8", {"linearise", "5", "point", "8", "1"}, "index must be 0 to 7");
        row("three points", {"linearise", "5", "points", "1", "2", "3"},
            "points takes 4 to 8 values");
        row("nine points",
            {"linearise", "5", "points", "1", "2", "3", "4", "5", "6", "7", "8", "9"},
            "points takes 4 to 8 values");
        row("what", {"calibrate", "5", "half"}, "calibrate takes zero, full or points");
    }
    void refusalsSendNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, strError);
        CSimProcess sim({"--modules", "5"});
        QVERIFY(!sim.Device().isEmpty());
        const Result result = On(sim, args);
        QCOMPARE(result.m_nExit, 2);
        QCOMPARE(result.m_strOut, QString());
        QVERIFY2(result.m_strErr.contains(strError), qPrintable(result.m_strErr));
        // Not even the set-up went out: the module is still locked.
        QCOMPARE(On(sim, {"linearise", "5", "on", "--no-setup"}).m_strErr,
                 QStringLiteral("RLE: refused\n"));
    }

    void writesAndTheirFailures()
    {
        CSimProcess sim({"--modules", "5", "--raw", "5=1000", "--fault", "refuse-write=LWT"});
        QVERIFY(!sim.Device().isEmpty());
        struct Case
        {
            QStringList m_args;
            int m_nExit;
            const char* m_pszOut;
            const char* m_pszErr;
        };
        const QList<Case> cases = {
            {{"calibrate", "5", "zero", "--no-setup"}, 1, "", "LDW: refused\n"},
            {{"calibrate", "5", "zero"}, 0, "LDW=1000\n", ""},
            {{"calibrate", "9", "full"}, 1, "", "LWT: no reply\n"},
            {{"calibrate", "5", "points", "-5", "5", "3"}, 1, "LDW\n", "LWT: refused\n"},
            {{"nominal", "5", "-3"}, 0, "NOV\nTDD1\n", ""},
            {{"linearise", "5", "points", "1", "-2", "3", "4", "5"},
             0,
             "RLN\nRLC0\nRLC1\nRLC2\nRLC3\nRLC4\n",
             ""},
            {{"linearise", "5", "point", "7", "-1234"}, 0, "RLC7\n", ""},
            {{"linearise", "5", "off"}, 0, "RLE\n", ""},
        };
        for (const Case& c : cases) {
            const Result result = On(sim, c.m_args);
            const QByteArray context = c.m_args.join(' ').toUtf8();
            QVERIFY2(result.m_nExit == c.m_nExit, context + " " + result.m_strErr.toUtf8());
            QVERIFY2(result.m_strOut == QLatin1String(c.m_pszOut),
                     context + " " + result.m_strOut.toUtf8());
            QVERIFY2(result.m_strErr == QLatin1String(c.m_pszErr),
                     context + " " + result.m_strErr.toUtf8());
        }
        // LDW -5 went in, LWT was refused: the span is |920000 - (-5)|.
        const Result tooLarge = On(sim, {"nominal", "5", "-920006"});
        QCOMPARE(tooLarge.m_nExit, 2);
        QCOMPARE(tooLarge.m_strErr,
                 QStringLiteral("tolvex-cli: |NOV| must not exceed |LWT-LDW|\n"));
        QVERIFY(!tooLarge.m_strOut.contains("NOV"));

        CSimProcess unreadable({"--modules", "5", "--fault", "unknown-query=LDW"});
        for (const QStringList& args :
             {QStringList{"calibrate", "5", "zero"}, QStringList{"nominal", "5", "1"}}) {
            const Result result = On(unreadable, args);
            QCOMPARE(result.m_nExit, 1);
            QCOMPARE(result.m_strErr, QStringLiteral("LDW?: no reply\n"));
        }
    }
};

QTEST_GUILESS_MAIN(CalibrationCliTest)
#include "CalibrationCliTest.moc"
