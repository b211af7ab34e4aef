#include "CliRun.h"
#include "TestFiles.h"
#include "cli/MqttCliOptions.h"
#include "params/ParamFile.h"
#include "recording/RecordingReader.h"
#include "terminal/SendTextFile.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

// What a reader made of a file: whether it took it, and its message.
struct Outcome
{
    bool m_bTaken = false;
    QString m_strMessage;
};

struct Reader
{
    const char* m_pszName;
    QString m_strFileName;
    QByteArray m_good;
    // Kinds a reader takes (a regular file within its bound); it refuses the rest.
    QList<BadFile> m_arrTaken;
    std::function<Outcome(const QString& strPath)> m_read;
};

QByteArray GoodParamFile()
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath("good.stp");
    QString strError;
    CParamFile::Export(strPath, ModuleParamRecord(), PageDisplayState(), strError);
    return ReadFile(strPath);
}

QList<Reader> Readers()
{
    const ModuleParamRecord untouched = [] {
        ModuleParamRecord record;
        record.m_nCof = 17;
        return record;
    }();
    return {
        {"stp import",
         QStringLiteral("p.stp"),
         GoodParamFile(),
         {},
         [untouched](const QString& strPath) {
             ModuleParamRecord record = untouched;
             PageDisplayState state;
             QString strError;
             const bool bTaken = CParamFile::Import(strPath, record, state, strError);
             // A refused file leaves the record as it was.
             if (!bTaken && !(record == untouched))
                 strError = QStringLiteral("record changed");
             return Outcome{bTaken, strError};
         }},
        {"send text",
         QString::fromLatin1(CSendTextFile::kFileName),
         QByteArray("AB\r\nCD\r\n"),
         {BadFile::Truncated, BadFile::Random},
         [](const QString& strPath) {
             CSendTextFile file(QFileInfo(strPath).path());
             QString strText;
             const bool bTaken = file.Load(strText);
             return Outcome{bTaken, file.ErrorText()};
         }},
        {"history load",
         QStringLiteral("r.Dat"),
         QByteArray(10 * WeightRecord::kSize, '\x05'),
         {BadFile::Truncated, BadFile::Random},
         [](const QString& strPath) {
             CRecordBuffer records;
             int nError = 0;
             const bool bTaken = CRecordingReader::Read(strPath, records, nError);
             return Outcome{bTaken,
                            bTaken ? QString() : QString::fromLocal8Bit(std::strerror(nError))};
         }},
        {"mqtt password file",
         QStringLiteral("pw"),
         QByteArray("secret\nrest\n"),
         {BadFile::Truncated, BadFile::Random, BadFile::Sparse2GiB},
         [](const QString& strPath) {
             QStringList arrArgs{"--mqtt", "localhost", "--mqtt-password-file", strPath};
             std::optional<MqttSettings> settings;
             QString strError;
             const bool bTaken = TakeMqttOptions(arrArgs, settings, strError);
             return Outcome{bTaken, strError};
         }},
    };
}

// Type, size and (for a regular file under 1 MiB) content: what "unchanged" compares.
QString Fingerprint(const QString& strPath)
{
    const QFileInfo info(strPath);
    QString str = QStringLiteral("%1 %2 %3 %4")
                      .arg(info.exists())
                      .arg(info.isSymLink())
                      .arg(info.isDir())
                      .arg(info.isFile() ? info.size() : -1);
    if (info.isFile() && info.size() < 1024 * 1024)
        str += QString::fromLatin1(
            QCryptographicHash::hash(ReadFile(strPath), QCryptographicHash::Sha1).toHex());
    return str;
}

// The peak resident size of a process, in KiB; -1 when it cannot be read.
qint64 PeakResidentKiB(qint64 nPid)
{
    const QByteArray status = ReadFile(QStringLiteral("/proc/%1/status").arg(nPid));
    const qsizetype nAt = status.indexOf("VmHWM:");
    if (nAt < 0)
        return -1;
    return status.mid(nAt + 6, status.indexOf('\n', nAt) - nAt - 6)
        .trimmed()
        .split(' ')[0]
        .toLongLong();
}

} // namespace

class CHostileInputTest : public QObject
{
    Q_OBJECT

private slots:
    void readersRefuseOrTakeCleanly_data()
    {
        QTest::addColumn<int>("reader");
        QTest::addColumn<int>("kind");
        const QList<Reader> arrReaders = Readers();
        for (int i = 0; i < arrReaders.size(); ++i)
            for (const BadFileKind& kind : BadFileKinds())
                QTest::addRow("%s, %s", arrReaders[i].m_pszName, kind.m_pszName)
                    << i << int(kind.m_kind);
    }

    void readersRefuseOrTakeCleanly()
    {
        // Never waiting on a FIFO, never reading an endless device to its end,
        // never allocating by a file's size: the file is taken, or refused
        // with a message, and stays as it was.
        QFETCH(int, reader);
        QFETCH(int, kind);
        const Reader r = Readers().at(reader);
        QTemporaryDir dir;
        const QString strPath = dir.filePath(r.m_strFileName);
        QVERIFY(MakeBadFile(BadFile(kind), strPath, r.m_good));
        const QString strBefore = Fingerprint(strPath);

        Outcome outcome;
        {
            const CAllocationLimit limit(512 * 1024 * 1024);
            if (!limit.IsSet() && BadFile(kind) == BadFile::Sparse2GiB &&
                r.m_pszName == QLatin1String("history load"))
                QSKIP("a history file is copied whole; without an address-space limit (ASan) "
                      "2 GiB would be allocated");
            outcome = r.m_read(strPath);
        }
        QCOMPARE(outcome.m_bTaken, r.m_arrTaken.contains(BadFile(kind)));
        QVERIFY2(outcome.m_bTaken || !outcome.m_strMessage.isEmpty(), "refused without a reason");
        QVERIFY(outcome.m_strMessage != QLatin1String("record changed"));
        QCOMPARE(Fingerprint(strPath), strBefore);
    }

    void scriptFileOfAnyKind_data()
    {
        QTest::addColumn<int>("kind");
        for (const BadFileKind& kind : BadFileKinds())
            QTest::newRow(kind.m_pszName) << int(kind.m_kind);
    }

    void scriptFileOfAnyKind()
    {
        // tolvex-cli script FILE: a script it can read runs (and may fail as a
        // script); anything else is a usage error naming the reason, at once.
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString strPath = dir.filePath("s.js");
        QVERIFY(MakeBadFile(BadFile(kind), strPath, QByteArray("var n = 1;\nn = n + 1;\n")));
        const QString strBefore = Fingerprint(strPath);
        const Result result = RunCli(dir.path(), {"--simulate", "script", strPath});
        QVERIFY2(result.m_nExit >= 0, qPrintable(result.m_strErr));
        const BadFile badFile = BadFile(kind);
        if (badFile != BadFile::Truncated && badFile != BadFile::Random) {
            QCOMPARE(result.m_nExit, 2);
            QVERIFY2(result.m_strErr.contains(strPath), qPrintable(result.m_strErr));
        }
        QCOMPARE(Fingerprint(strPath), strBefore);
    }

    void hostileArguments_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        // The kernel takes one argument of up to 128 KiB with its NUL.
        const QString strLongest(128 * 1024 - 1, QLatin1Char('7'));
        const QString strDigits(100000, QLatin1Char('9'));
        const QString strList = QStringLiteral("1,").repeated(50000) + QStringLiteral("1");
        const QStringList arrMany(10000, QStringLiteral("1"));
        QTest::newRow("cli 128 KiB argument") << "tolvex-cli" << QStringList{strLongest};
        QTest::newRow("cli 128 KiB device")
            << "tolvex-cli" << QStringList{"--port", strLongest, "msv", "1"};
        QTest::newRow("cli 10000 arguments")
            << "tolvex-cli" << QStringList{"--simulate", "msv"} + arrMany;
        QTest::newRow("cli 10^5-digit com")
            << "tolvex-cli" << QStringList{"--com", strDigits, "msv", "1"};
        QTest::newRow("cli 10^5-digit baud")
            << "tolvex-cli" << QStringList{"--baud", "-" + strDigits, "msv", "1"};
        QTest::newRow("cli 10^5-digit address")
            << "tolvex-cli" << QStringList{"--simulate", "msv", strDigits};
        QTest::newRow("cli address list")
            << "tolvex-cli" << QStringList{"--simulate=" + strList, "msv", "1"};
        QTest::newRow("sim 128 KiB argument") << "tolvex-sim" << QStringList{strLongest};
        QTest::newRow("sim 10^5-digit baud") << "tolvex-sim" << QStringList{"--baud", strDigits};
        QTest::newRow("sim turnaround nan")
            << "tolvex-sim" << QStringList{"--turnaround-ms", "nan"};
        QTest::newRow("sim turnaround 1e308")
            << "tolvex-sim" << QStringList{"--turnaround-ms", "1e308"};
        QTest::newRow("sim 10^5-digit seed") << "tolvex-sim" << QStringList{"--seed", strDigits};
        QTest::newRow("sim address list") << "tolvex-sim" << QStringList{"--modules", strList};
        QTest::newRow("sim 10000 arguments")
            << "tolvex-sim" << QStringList(10000, "--line-timing") + QStringList{"--baud", "x"};
        QTest::newRow("sim 128 KiB raw") << "tolvex-sim" << QStringList{"--raw", strLongest};
    }

    void hostileArguments()
    {
        // Each is refused with a usage error, at once, and nothing runs.
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        process.setProcessEnvironment(env);
        process.start(BinPath(program.toLatin1().constData()), args);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000))
            process.kill();
        const QByteArray err = process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 1 || process.exitCode() == 2, err.left(300).constData());
        QVERIFY(!err.isEmpty());
    }

    void fileNamesAreTakenByteForByte()
    {
        // A name that is valid UTF-8 is written as given; one that is not would
        // name another file once decoded, so it is refused and nothing written.
        QTemporaryDir dir;
        const auto exportTo = [&dir](const QByteArray& name) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(dir.path());
            process.start(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"),
                           QStringLiteral("exec \"$0\" --simulate export 1 \"$(printf '%1')\"")
                               .arg(QString::fromLatin1(name)),
                           BinPath("tolvex-cli")});
            if (!process.waitForFinished(60000))
                process.kill();
            return Result{process.exitCode(), QString(),
                          QString::fromUtf8(process.readAllStandardError())};
        };
        const Result refused = exportTo("caf\\351\\377.stp");
        QCOMPARE(refused.m_nExit, 2);
        QVERIFY2(refused.m_strErr.contains(QStringLiteral("caf\\xE9\\xFF.stp")),
                 qPrintable(refused.m_strErr));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        const Result written = exportTo("\\351\\207\\215.stp");
        QVERIFY2(written.m_nExit == 0, qPrintable(written.m_strErr));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList(QStringLiteral("重.stp")));
    }

    void simulatorTakesEndlessStdin()
    {
        // 64 MiB without a line end, then a line: the simulator keeps a
        // bounded tail, reports the long line once and takes the next.
        QProcess process;
        process.start(BinPath("tolvex-sim"), {"--modules", "1"});
        QVERIFY(process.waitForStarted(10000));
        QVERIFY(process.waitForReadyRead(10000));
        QVERIFY(!process.readLine().trimmed().isEmpty());
        const qint64 nPeakBefore = PeakResidentKiB(process.processId());
        QVERIFY(nPeakBefore > 0);
        process.setReadChannel(QProcess::StandardError);
        const QByteArray block(1024 * 1024, 'x');
        for (int i = 0; i < 64; ++i) {
            process.write(block);
            QVERIFY(process.waitForBytesWritten(60000));
        }
        process.write("\n1=oops\n");
        QVERIFY(process.waitForBytesWritten(60000));
        QByteArray err;
        while (!err.contains("1=oops") && process.waitForReadyRead(60000))
            err += process.readAllStandardError();
        err += process.readAllStandardError();
        QVERIFY2(err.contains("ignored a line over"), err.left(300).constData());
        QVERIFY2(err.contains("ignored \"1=oops\""), err.left(300).constData());
        QCOMPARE(err.count('\n'), 2);
        const qint64 nGrowthKiB = PeakResidentKiB(process.processId()) - nPeakBefore;
        QVERIFY2(nGrowthKiB < 16 * 1024, qPrintable(QString::number(nGrowthKiB)));
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(CHostileInputTest)
#include "HostileInputTest.moc"
