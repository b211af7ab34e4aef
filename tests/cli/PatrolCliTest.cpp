#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <sys/resource.h>

namespace {

QString BinPath(const char* pszName)
{
    return QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath(QString::fromLatin1(pszName));
}

struct Result
{
    int m_nExit = -1;
    QStringList m_arrLines;
    QString m_strErr;
};

} // namespace

class PatrolCliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

    void Prepare(QProcess& process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        process.setProcessEnvironment(env);
    }

    // nFileSizeLimit: the largest file the program may write, in bytes.
    Result Cli(const QStringList& arrArgs, rlim_t nFileSizeLimit = RLIM_INFINITY)
    {
        QProcess process;
        Prepare(process);
        if (nFileSizeLimit != RLIM_INFINITY)
            process.setChildProcessModifier([nFileSizeLimit] {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{};
                ::getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = nFileSizeLimit;
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        process.start(BinPath("tolvex-cli"), arrArgs);
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString StartSim(QProcess& sim, const QStringList& arrArgs)
    {
        sim.start(BinPath("tolvex-sim"), arrArgs);
        if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000))
            return QString();
        return QString::fromLocal8Bit(sim.readLine()).trimmed();
    }

    // The checksum mode the module on the device is in: the patrol's set-up
    // switches it on, so it tells whether a patrol sent anything.
    QString ChecksumMode(const QString& strDevice, int nAddress)
    {
        const Result read =
            Cli({"--port", strDevice, "--parity", "N", "read", QString::number(nAddress)});
        for (const QString& line : read.m_arrLines)
            if (line.startsWith("CSM="))
                return line.mid(4);
        return QString();
    }

    // "cycle ms v0 v1 ..." with "-" for a failed read.
    static void VerifyLine(const QString& strLine, int nCycle, const QStringList& arrPattern)
    {
        const QStringList arrFields = strLine.split(' ');
        QCOMPARE(arrFields.size(), 2 + arrPattern.size());
        QCOMPARE(arrFields[0], QString::number(nCycle));
        bool bOk = false;
        QVERIFY(arrFields[1].toInt(&bOk) >= 0 && bOk);
        for (qsizetype i = 0; i < arrPattern.size(); ++i) {
            if (arrPattern[i] == "-") {
                QCOMPARE(arrFields[2 + i], QStringLiteral("-"));
            } else {
                arrFields[2 + i].toInt(&bOk);
                QVERIFY2(bOk, qPrintable(strLine));
            }
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QVERIFY(QFile::exists(BinPath("tolvex-cli")));
    }

    void printsOneLinePerCycle()
    {
        const Result result =
            Cli({"--simulate=1,3", "--parity", "N", "patrol", "--last", "3", "-n", "3"});
        QCOMPARE(result.m_nExit, 0);
        QCOMPARE(result.m_strErr, QString());
        QCOMPARE(result.m_arrLines.size(), 3);
        for (int i = 0; i < 3; ++i)
            VerifyLine(result.m_arrLines[i], i + 1, {"-", "v", "-", "v"});

        const Result single =
            Cli({"--simulate=0", "--parity", "N", "patrol", "--last", "0", "--timeout=50"});
        QCOMPARE(single.m_nExit, 0);
        QCOMPARE(single.m_arrLines.size(), 1);
        VerifyLine(single.m_arrLines[0], 1, {"v"});
    }

    void nothingAnsweringOrMissedReadsExitOne()
    {
        const Result none = Cli({"--simulate=9", "--parity", "N", "patrol", "--last", "2"});
        QCOMPARE(none.m_nExit, 1);
        QCOMPARE(none.m_strErr, QStringLiteral("no module answered\n"));
        QCOMPARE(none.m_arrLines.size(), 1);
        VerifyLine(none.m_arrLines[0], 1, {"-", "-", "-"});

        // Every fourth reply lost: module 2 misses some of its reads.
        QProcess sim;
        const QString strDevice = StartSim(sim, {"--modules", "2", "--fault", "drop=4"});
        QVERIFY(!strDevice.isEmpty());
        const Result missed =
            Cli({"--port", strDevice, "--parity", "N", "patrol", "--last", "2", "-n", "8"});
        QCOMPARE(missed.m_nExit, 1);
        QCOMPARE(missed.m_arrLines.size(), 8);
        const QRegularExpression summary(QStringLiteral("^AD2: (\\d+) of 8 reads failed\\n$"));
        const QRegularExpressionMatch match = summary.match(missed.m_strErr);
        QVERIFY2(match.hasMatch(), qPrintable(missed.m_strErr));
        int nDashes = 0;
        for (const QString& line : missed.m_arrLines)
            nDashes += line.split(' ').at(4) == "-";
        QCOMPARE(match.captured(1).toInt(), nDashes);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    void usageErrorsSendNothing()
    {
        QProcess sim;
        const QString strDevice = StartSim(sim, {"--modules", "1"});
        QVERIFY(!strDevice.isEmpty());
        const QStringList arrPort{"--port", strDevice, "--parity", "N", "patrol"};
        QTemporaryDir dir;
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QList<QStringList> arrBad{
            {},
            {"--last"},
            {"--last", "32"},
            {"--last", "x"},
            {"--last", "3", "-n", "-1"},
            {"--last", "3", "--timeout", "49"},
            {"--last", "3", "--timeout", "5001"},
            {"--last", "3", "--fast"},
            {"--last", "3", "extra"},
            {"--last", "3", "--record"},
            {"--last", "1", "--record", dir.filePath("file/sub")},
        };
        for (const QStringList& arrArgs : arrBad) {
            const Result result = Cli(arrPort + arrArgs);
            QVERIFY2(result.m_nExit == 2, qPrintable(arrArgs.join(' ')));
            QVERIFY(result.m_arrLines.isEmpty());
            QVERIFY(result.m_strErr.startsWith("tolvex-cli: "));
        }
        QCOMPARE(ChecksumMode(strDevice, 1), QStringLiteral("0"));
        // The same bus patrolled for real: the set-up pass reaches the module.
        QCOMPARE(Cli(arrPort + QStringList{"--last", "1"}).m_nExit, 0);
        QCOMPARE(ChecksumMode(strDevice, 1), QStringLiteral("1"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    void recordsIntoANewFolder()
    {
        QTemporaryDir dir;
        const QString strFolder = dir.filePath("a/b");
        const Result result = Cli({"--simulate=1,3", "--parity", "N", "patrol", "--last", "3", "-n",
                                   "5", "--record", strFolder});
        QCOMPARE(result.m_nExit, 0);
        QCOMPARE(result.m_arrLines.size(), 5);
        const QFileInfoList files =
            QDir(strFolder).entryInfoList({"*.sdat"}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 4);
        for (const QFileInfo& info : files) {
            const bool bPresent =
                info.fileName().startsWith("AD1_") || info.fileName().startsWith("AD3_");
            QCOMPARE(info.size(), bPresent ? 20 : 0);
        }
        // The values recorded are the ones printed.
        QFile file(files[1].filePath());
        QVERIFY(files[1].fileName().startsWith("AD1_"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (int i = 0; i < 5; ++i) {
            const qint32 nValue = qFromLittleEndian<qint32>(bytes.constData() + 4 * i);
            QCOMPARE(QString::number(nValue), result.m_arrLines[i].split(' ').at(3));
        }
    }

    // A recording whose writes fail is reported once per address, when it
    // fails; the patrol goes on and the exit code says so.
    void aFileThatCannotBeWrittenIsReported()
    {
        QTemporaryDir dir;
        // Room for 25 values a file (and for the port's lock file): the 26th
        // cycle's values do not fit.
        const Result result = Cli({"--simulate=0,1", "--parity", "N", "patrol", "--last", "1", "-n",
                                   "30", "--record", dir.path()},
                                  100);
        QCOMPARE(result.m_nExit, 1);
        QCOMPARE(result.m_arrLines.size(), 30);
        QVERIFY2(result.m_strErr.startsWith("AD0: cannot write " + dir.path()),
                 qPrintable(result.m_strErr));
        QVERIFY2(result.m_strErr.contains("\nAD1: cannot write " + dir.path()),
                 qPrintable(result.m_strErr));
        QCOMPARE(result.m_strErr.count('\n'), 2);
        const QFileInfoList files = QDir(dir.path()).entryInfoList({"AD*.sdat"}, QDir::Files);
        QCOMPARE(files.size(), 2);
        for (const QFileInfo& file : files)
            QCOMPARE(file.size(), 100);
    }

    void interruptEndsAnEndlessPatrol()
    {
        QTemporaryDir dir;
        QProcess process;
        Prepare(process);
        process.start(BinPath("tolvex-cli"), {"--simulate=0,1", "--parity", "N", "patrol", "--last",
                                              "1", "-n", "0", "--record", dir.path()});
        QVERIFY(process.waitForStarted(10000));
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        while (out.count('\n') < 3 && timer.elapsed() < 20000) {
            process.waitForReadyRead(200);
            out += process.readAllStandardOutput();
        }
        QVERIFY(out.count('\n') >= 3);
        ::kill(process.processId(), SIGINT);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        out += process.readAllStandardOutput();
        QVERIFY(out.endsWith('\n'));
        const qsizetype nCycles = out.count('\n');
        // The unfinished cycle printed nothing, but its reads are recorded.
        for (const QFileInfo& info : QDir(dir.path()).entryInfoList({"*.sdat"}, QDir::Files)) {
            QVERIFY(info.size() >= 4 * nCycles);
            QVERIFY(info.size() <= 4 * (nCycles + 1));
        }
    }
};

QTEST_GUILESS_MAIN(PatrolCliTest)
#include "PatrolCliTest.moc"
