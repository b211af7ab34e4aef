#include "CliRun.h"
#include "module/ModuleParamRecord.h"
#include "params/PageDisplayState.h"
#include "params/ParamFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// write, readdress, export and import of tolvex-cli: output, exit codes, and
// that a usage error sends nothing.
class ParamCliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;
    std::unique_ptr<CSimProcess> m_pLockedSim;

    Result Cli(const QStringList& arrArgs) { return RunCli(m_config.path(), arrArgs); }

    Result On(const CSimProcess& sim, const QStringList& arrArgs)
    {
        return Cli(QStringList{QStringLiteral("--port"), sim.Device()} + arrArgs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QVERIFY(QFile::exists(BinPath("tolvex-cli")));
        m_pLockedSim = std::make_unique<CSimProcess>(QStringList{"--modules", "3"});
    }
    void cleanupTestCase() { m_pLockedSim.reset(); }

    void writeSendsTheNamedParametersAndStores()
    {
        CSimProcess sim({"--modules", "3"});
        QVERIFY(!sim.Device().isEmpty());
        const Result written = On(sim, {"write", "3", "ICR=96", "ADI=22", "TAV=-500",
                                        QString::fromUtf8("IDN=ADM,秤台A,SN1,1.0")});
        QCOMPARE(written.m_nExit, 0);
        // The save's order, whatever the order given; TDD1 last.
        QCOMPARE(written.m_strOut, QStringLiteral("ADI\nTAV\nICR\nIDN\nTDD1\n"));
        QCOMPARE(written.m_strErr, QString());

        const Result read = On(sim, {"read", "3"});
        QCOMPARE(read.m_nExit, 0);
        QVERIFY(read.m_strOut.contains("ADI=22\n"));
        QVERIFY(read.m_strOut.contains("TAV=-500\n"));
        QVERIFY(read.m_strOut.contains("ICR=96\n"));
        QVERIFY2(read.m_strOut.contains(QString::fromUtf8("IDN=ADM,秤台A          ,SN1    ,1.0\n")),
                 qPrintable(read.m_strOut));

        // "--" ends the options; the value after it is still a pair.
        QCOMPARE(On(sim, {"write", "--", "3", "TAV=-7"}).m_strOut, QStringLiteral("TAV\nTDD1\n"));
    }

    void usageErrorsSendNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no pair") << QStringList{"write", "3"};
        QTest::newRow("no address") << QStringList{"write"};
        QTest::newRow("address 32") << QStringList{"write", "32", "ADI=1"};
        QTest::newRow("calibration name") << QStringList{"write", "3", "LDW=5"};
        QTest::newRow("linearisation name") << QStringList{"write", "3", "RLN=5"};
        QTest::newRow("unknown name") << QStringList{"write", "3", "XYZ=5"};
        QTest::newRow("TDD1 by name") << QStringList{"write", "3", "TDD1=1"};
        QTest::newRow("repeated") << QStringList{"write", "3", "ADI=1", "ADI=2"};
        QTest::newRow("not a number") << QStringList{"write", "3", "ADI=1", "COF=x"};
        QTest::newRow("plus sign") << QStringList{"write", "3", "ADI=+1"};
        QTest::newRow("beyond 32 bits") << QStringList{"write", "3", "TAV=2147483648"};
        QTest::newRow("index outside list") << QStringList{"write", "3", "ADI=1", "FMD=2"};
        QTest::newRow("rate outside list") << QStringList{"write", "3", "ICR=97"};
        QTest::newRow("ADI 501") << QStringList{"write", "3", "ADI=501"};
        QTest::newRow("COC -1") << QStringList{"write", "3", "COC=-1"};
        QTest::newRow("IDN two commas") << QStringList{"write", "3", "IDN=ADM,a,b"};
        QTest::newRow("IDN quote") << QStringList{"write", "3", "IDN=ADM,a\";TDD1;,b,c"};
        QTest::newRow("IDN semicolon") << QStringList{"write", "3", "IDN=ADM,a,b;,c"};
        QTest::newRow("IDN field 3 too long") << QStringList{"write", "3", "IDN=ADM,a,12345678,c"};
        QTest::newRow("IDN field 2 bytes")
            << QStringList{"write", "3", QString::fromUtf8("IDN=A,一二三四五六七八,b,c")};
        QTest::newRow("unknown option") << QStringList{"write", "3", "ADI=1", "--frob"};
        QTest::newRow("readdress same") << QStringList{"readdress", "3", "3"};
        QTest::newRow("readdress 32") << QStringList{"readdress", "3", "32"};
        QTest::newRow("readdress extra") << QStringList{"readdress", "3", "4", "5"};
        QTest::newRow("import missing file") << QStringList{"import", "3", "/nonexistent/x.stp"};
        QTest::newRow("scan last 32") << QStringList{"scan", "--last", "32"};
    }

    void usageErrorsSendNothing()
    {
        QFETCH(QStringList, args);
        // One module for every row: it stays locked as long as no row unlocks it.
        CSimProcess& sim = *m_pLockedSim;
        QVERIFY(!sim.Device().isEmpty());
        const Result result = On(sim, args);
        QCOMPARE(result.m_nExit, 2);
        QCOMPARE(result.m_strOut, QString());
        QVERIFY(!result.m_strErr.isEmpty());
    }

    void usageErrorsLeftTheModuleLocked()
    {
        // Nothing reached the module in any of the rows above: not even the
        // unlock that a write sends first, so a write without set-up is refused.
        const Result after = On(*m_pLockedSim, {"write", "3", "ADI=1", "--no-setup"});
        QCOMPARE(after.m_nExit, 1);
        QCOMPARE(after.m_strErr, QStringLiteral("ADI: not acknowledged\nTDD1: not acknowledged\n"));
        // And the module is there: with its unlock the same write goes through.
        QCOMPARE(On(*m_pLockedSim, {"write", "3", "ADI=1"}).m_nExit, 0);
    }

    void refusedStepsAreNamedAndTheRestGoesOut()
    {
        CSimProcess sim({"--modules", "2", "--fault", "zts-unsupported"});
        QVERIFY(!sim.Device().isEmpty());
        const Result result = On(sim, {"write", "2", "ZTS=3", "ADI=5", "CSM=1"});
        QCOMPARE(result.m_nExit, 1);
        QCOMPARE(result.m_strOut, QStringLiteral("ADI\nCSM\nTDD1\n"));
        QCOMPARE(result.m_strErr, QStringLiteral("ZTS: not acknowledged\n"));

        // No module: the unlock is reported, every step is still tried.
        const Result absent = On(sim, {"write", "9", "ADI=5"});
        QCOMPARE(absent.m_nExit, 1);
        QCOMPARE(absent.m_strOut, QString());
        QCOMPARE(absent.m_strErr,
                 QStringLiteral(
                     "SPW: not acknowledged\nADI: not acknowledged\nTDD1: not acknowledged\n"));
    }

    void readdressMovesAModuleToAFreeAddress()
    {
        CSimProcess sim({"--modules", "3,17"});
        QVERIFY(!sim.Device().isEmpty());
        const Result inUse = On(sim, {"readdress", "17", "3"});
        QCOMPARE(inUse.m_nExit, 1);
        QCOMPARE(inUse.m_strOut, QString());
        QCOMPARE(inUse.m_strErr, QStringLiteral("address 3 is in use\n"));

        const Result absent = On(sim, {"readdress", "9", "10"});
        QCOMPARE(absent.m_nExit, 1);
        QCOMPARE(absent.m_strOut, QString());
        QVERIFY2(absent.m_strErr.contains("adr: not acknowledged"), qPrintable(absent.m_strErr));

        const Result moved = On(sim, {"readdress", "17", "20"});
        QCOMPARE(moved.m_nExit, 0);
        QCOMPARE(moved.m_strOut, QStringLiteral("3\n20\n"));
        QCOMPARE(On(sim, {"scan", "--last", "20"}).m_strOut, QStringLiteral("3\n20\n"));
    }

    void exportAndImport()
    {
        CSimProcess sim({"--modules", "3,17"});
        QVERIFY(!sim.Device().isEmpty());
        QTemporaryDir dir;
        const QString strFile = dir.filePath("f.stp");
        QCOMPARE(On(sim, {"write", "3", "ADI=33", "FMD=1", "GAN=4"}).m_nExit, 0);

        const Result exported = On(sim, {"export", "3", strFile});
        QCOMPARE(exported.m_nExit, 0);
        const Result read3 = On(sim, {"read", "3"});
        QCOMPARE(exported.m_strOut, read3.m_strOut);
        QCOMPARE(QFileInfo(strFile).size(), 516);
        ModuleParamRecord record;
        PageDisplayState state;
        QString strError;
        QVERIFY(CParamFile::Import(strFile, record, state, strError));
        QCOMPARE(record.m_nAdi, 33);
        QCOMPARE(state.m_nSelectedAddress, 3);
        QCOMPARE(state.m_nNewAddress, 3);
        QCOMPARE(state.m_bRestartStatistics, 1);
        QCOMPARE(state.m_nMaximum, 0);

        // An existing file needs --force; a failed read writes no file.
        QCOMPARE(On(sim, {"export", "3", strFile}).m_nExit, 2);
        QCOMPARE(On(sim, {"export", "3", strFile, "--force"}).m_nExit, 0);
        const QString strOther = dir.filePath("absent.stp");
        QCOMPARE(On(sim, {"export", "9", strOther}).m_nExit, 1);
        QVERIFY(!QFile::exists(strOther));
        const Result unwritable = On(sim, {"export", "3", strFile + "/below.stp"});
        QCOMPARE(unwritable.m_nExit, 1);
        QVERIFY(unwritable.m_strErr.startsWith(strFile + "/below.stp: "));

        const Result imported = On(sim, {"import", "17", strFile});
        QCOMPARE(imported.m_nExit, 0);
        QCOMPARE(imported.m_strOut,
                 QStringLiteral("FMD\nASF\nADI\nCOC\nCOF\nTAV\nICR\nZTR\nZTS\nZSE\n"
                                "STR\nCSM\nCHP\nGAN\nIDN\nTDD1\n"));
        QCOMPARE(On(sim, {"read", "17"}).m_strOut, read3.m_strOut);

        // A file whose identification cannot be split: the rest is written.
        record.m_strIdentification = "no commas";
        QVERIFY(CParamFile::Export(strFile, record, state, strError));
        const Result noIdn = On(sim, {"import", "17", strFile});
        QCOMPARE(noIdn.m_nExit, 0);
        QCOMPARE(noIdn.m_strErr, QStringLiteral("IDN: skipped, not three commas\n"));
        QVERIFY(!noIdn.m_strOut.contains("IDN"));

        // Refused files: nothing sent.
        QFile file(strFile);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(515));
        file.close();
        QCOMPARE(On(sim, {"import", "17", strFile}).m_nExit, 2);
        state.m_nUnit = 9;
        QVERIFY(CParamFile::Export(strFile, record, state, strError));
        const Result badUnit = On(sim, {"import", "17", strFile});
        QCOMPARE(badUnit.m_nExit, 2);
        QCOMPARE(badUnit.m_strOut, QString());
    }
};

QTEST_GUILESS_MAIN(ParamCliTest)
#include "ParamCliTest.moc"
