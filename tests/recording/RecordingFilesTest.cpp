#include "recording/FreeName.h"
#include "recording/PatrolRecorder.h"
#include "recording/RealTimeRecording.h"
#include "recording/RecordingFile.h"
#include "recording/RecordingReader.h"
#include "recording/TerminalArchive.h"
#include "recording/WeightRecord.h"

#include "TestFiles.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <QTest>
#include <QTimeZone>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 UtcMs(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond, int nMs = 0)
{
    return QDateTime(QDate(nYear, nMonth, nDay), QTime(nHour, nMinute, nSecond, nMs), Qt::UTC)
        .toMSecsSinceEpoch();
}

// Every file below strDir, relative, sorted.
QStringList Files(const QString& strDir)
{
    QStringList arr;
    for (const QString& strSub : QDir(strDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& strName : QDir(strDir + "/" + strSub).entryList(QDir::Files))
            arr << strSub + "/" + strName;
    arr.sort();
    return arr;
}

// The faults a recording is tried with: a folder below a plain file (ENOTDIR,
// for root too), a missing folder, writes past the file size limit, and an
// unwritable folder (EACCES, or EROFS for root: CUnwritableFolder).
enum class Fault
{
    BelowAPlainFile,
    MissingFolder,
    SizeLimit,
    Unwritable,
};

// The folder a recording is made in for a fault, below dir.
QString FaultFolder(const QTemporaryDir& dir, Fault fault)
{
    if (fault == Fault::MissingFolder)
        return dir.path() + "/gone";
    if (fault == Fault::BelowAPlainFile) {
        if (!WriteFile(dir.path() + "/plain", "x"))
            return QString();
        return dir.path() + "/plain";
    }
    if (fault == Fault::Unwritable) {
        if (!QDir().mkdir(dir.path() + "/unwritable"))
            return QString();
        return dir.path() + "/unwritable";
    }
    return dir.path();
}

// A recording that makes its folders itself has no missing-folder fault.
void AddFaultRows(bool bMakesFolders)
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("nError");
    QTest::newRow("below a plain file") << Fault::BelowAPlainFile << ENOTDIR;
    if (!bMakesFolders)
        QTest::newRow("missing folder") << Fault::MissingFolder << ENOENT;
    QTest::newRow("file size limit") << Fault::SizeLimit << EFBIG;
    QTest::newRow("unwritable folder") << Fault::Unwritable << 0;
}

} // namespace

class CRecordingFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Eight hours ahead of UTC, no daylight saving: the local times below are fixed.
        qputenv("TZ", "CST-8");
        tzset();
    }

    void recordAndLineOfOneMoment();
    void recordBytesAreLittleEndianFieldByField();
    void fileTimeConversions();
    void namesCarryNoLeadingZeros();
    void threeValuesAgreeRecordByRecord();
    void readerIgnoresTheRemainder();
    void readerRefusesWhatIsNotARegularFile();
    void readerCopiesFilesOverManyHugePages();
    void nameClashesMoveBothFilesOn();
    void emptyRecordingLeavesNoFilesAndKeepsOlderOnes();
    void userNamedFileIsTruncatedOnlyWhenFree();
    void runningRecordingRefusesReaders();
    void shortWriteIsCutBackToTheLastRecord();
    void freeNamesAreTriedInOrderAndBounded();
    void concurrentArchivesOfOneSecondGetTheirOwnNames();
    void patrolNamesMoveOnTogether();
    void patrolNamesAreRelativeToTheWorkingFolder();
    void archivesNeverTruncate();
    void archiveFolderPathIsNotCut();
    void userNamedFileReportsItsFirstFailureOnce_data();
    void userNamedFileReportsItsFirstFailureOnce();
    void realTimeRecordingReportsItsFirstFailureOnce_data() { AddFaultRows(true); }
    void realTimeRecordingReportsItsFirstFailureOnce();
    void patrolRecordingReportsItsFirstFailureOnce_data() { AddFaultRows(false); }
    void patrolRecordingReportsItsFirstFailureOnce();
    void archiveFailuresAreReportedAndLeaveNoFile_data() { AddFaultRows(false); }
    void archiveFailuresAreReportedAndLeaveNoFile();
};

void CRecordingFilesTest::recordAndLineOfOneMoment()
{
    // -5 at 03:07:09.500 local time on 2024-01-05 is 19:07:09.500 UTC the day before.
    const qint64 nMs = UtcMs(2024, 1, 4, 19, 7, 9, 500);
    QCOMPARE(WeightRecord::TextLine(-5, nMs), QByteArray("-5    2024-01-05 03:07:09\r\n"));
    const WeightRecord record = WeightRecord::Make(-5, nMs);
    const qint64 nSince1601Ms = QDateTime(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC)
                                    .msecsTo(QDateTime::fromMSecsSinceEpoch(nMs, Qt::UTC));
    QCOMPARE(record.FileTime(), quint64(nSince1601Ms) * 10000);
    QCOMPARE(record.FileTime() % 10000, quint64(0));
    QCOMPARE(record.m_nValue, -5);
    QCOMPARE(WeightRecord::TextLine(2147483647, nMs),
             QByteArray("2147483647    2024-01-05 03:07:09\r\n"));
}

void CRecordingFilesTest::recordBytesAreLittleEndianFieldByField()
{
    WeightRecord record;
    record.SetFileTime(0x0123456789ABCDEFULL);
    record.m_nValue = -2;
    char bytes[WeightRecord::kSize];
    record.ToBytes(bytes);
    QCOMPARE(QByteArray(bytes, sizeof bytes), QByteArray::fromHex("EFCDAB8967452301FEFFFFFF"));
    const WeightRecord back = WeightRecord::FromBytes(bytes);
    QCOMPARE(back.m_nLowDateTime, 0x89ABCDEFU);
    QCOMPARE(back.m_nHighDateTime, 0x01234567U);
    QCOMPARE(back.m_nValue, -2);
}

void CRecordingFilesTest::fileTimeConversions()
{
    qint64 nSeconds = 0;
    QVERIFY(WeightRecord::UnixSecondsFromFileTime(0, nSeconds));
    QCOMPARE(nSeconds, -11644473600LL);
    QVERIFY(WeightRecord::UnixSecondsFromFileTime(WeightRecord::kUnixEpochFileTime, nSeconds));
    QCOMPARE(nSeconds, 0LL);
    // Just before 1970 still lies in the second before it.
    QVERIFY(WeightRecord::UnixSecondsFromFileTime(WeightRecord::kUnixEpochFileTime - 1, nSeconds));
    QCOMPARE(nSeconds, -1LL);
    nSeconds = 42;
    QVERIFY(!WeightRecord::UnixSecondsFromFileTime(0x8000000000000000ULL, nSeconds));
    QVERIFY(!WeightRecord::UnixSecondsFromFileTime(~0ULL, nSeconds));
    QCOMPARE(nSeconds, 42LL);
    const qint64 nMs = UtcMs(2024, 6, 1, 12, 0, 0, 999);
    QVERIFY(WeightRecord::UnixSecondsFromFileTime(WeightRecord::FileTimeFromUnixMs(nMs), nSeconds));
    QCOMPARE(nSeconds, nMs / 1000);
}

void CRecordingFilesTest::namesCarryNoLeadingZeros()
{
    // Local times; the zone is UTC+8.
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 1, 4, 19, 7, 9)), QString("202415_3_7_9"));
    // Two different days, one name: the name does not tell them apart.
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 10, 31, 16, 5, 0)), QString("2024111_0_5_0"));
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 1, 10, 16, 5, 0)), QString("2024111_0_5_0"));
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 12, 31, 15, 59, 59)),
             QString("20241231_23_59_59"));
    QCOMPARE(CTerminalArchive::ArchiveName(QDateTime(QDate(2026, 12, 6), QTime(8, 5, 9))),
             QStringLiteral("2026126-859.txt"));
    QCOMPARE(CTerminalArchive::ArchiveName(QDateTime(QDate(2027, 1, 12), QTime(10, 0, 0))),
             CTerminalArchive::ArchiveName(QDateTime(QDate(2027, 11, 2), QTime(10, 0, 0))));
    QCOMPARE(CPatrolRecorder::FileName(3, QDateTime(QDate(2026, 1, 2), QTime(3, 4)), 2),
             QStringLiteral("AD3_202612_34_2.sdat"));
}

void CRecordingFilesTest::threeValuesAgreeRecordByRecord()
{
    QTemporaryDir dir;
    const QString strProgram = dir.path() + "/";
    qint64 nNow = UtcMs(2024, 1, 4, 19, 7, 9, 500);
    CRealTimeRecording recording([&nNow] { return nNow; });
    QVERIFY(recording.Open(strProgram));
    QCOMPARE(recording.DataPath(), strProgram + "数据文件/202415_3_7_9.Dat");
    QCOMPARE(recording.TextPath(), strProgram + "文本文件/202415_3_7_9.txt");
    const qint32 nValues[3] = {-5, 0, 123456};
    for (qint32 nValue : nValues) {
        QVERIFY(recording.Append(nValue));
        nNow += 700;
    }
    // Written through: the bytes are there before the close.
    QCOMPARE(QFileInfo(recording.DataPath()).size(), 36);
    recording.Close();
    QCOMPARE(recording.TakeFailureToReport(), 0);

    CRecordBuffer arrRecords;
    int nError = -1;
    QVERIFY(CRecordingReader::Read(strProgram + "数据文件/202415_3_7_9.Dat", arrRecords, nError));
    QCOMPARE(nError, 0);
    QCOMPARE(arrRecords.Count(), qint64(3));
    const QList<QByteArray> arrLines =
        ReadFile(strProgram + "文本文件/202415_3_7_9.txt").split('\n');
    QCOMPARE(arrLines.size(), 4); // three lines, each ending in CR LF
    QVERIFY(arrLines[3].isEmpty());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(arrRecords[i].m_nValue, nValues[i]);
        qint64 nSeconds = 0;
        QVERIFY(WeightRecord::UnixSecondsFromFileTime(arrRecords[i].FileTime(), nSeconds));
        const qint64 nMs =
            (qint64(arrRecords[i].FileTime()) - WeightRecord::kUnixEpochFileTime) / 10000;
        QCOMPARE(arrLines[i] + '\n', WeightRecord::TextLine(nValues[i], nMs));
        QVERIFY(arrLines[i].endsWith('\r'));
    }
    QCOMPARE(arrLines[2], QByteArray("123456    2024-01-05 03:07:10\r"));
}

void CRecordingFilesTest::readerIgnoresTheRemainder()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/x.Dat";
    QByteArray bytes;
    for (int i = 0; i < 2; ++i) {
        char record[WeightRecord::kSize];
        WeightRecord::Make(100 + i, 1000 * i).ToBytes(record);
        bytes.append(record, sizeof record);
    }
    QVERIFY(WriteFile(strPath, bytes + "Z"));
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QCOMPARE(arrRecords.Count(), qint64(2));
    QCOMPARE(arrRecords[1].m_nValue, 101);
    QCOMPARE(arrRecords[1].FileTime(), WeightRecord::FileTimeFromUnixMs(1000));

    QVERIFY(WriteFile(strPath, "short"));
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QVERIFY(arrRecords.Count() == 0);
}

// The copy lies in 2 MiB pages where the system gives them: records that
// straddle a page boundary, the mapping's start and its end read back whole.
void CRecordingFilesTest::readerCopiesFilesOverManyHugePages()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/big.Dat";
    constexpr qint64 kCount = 700001; // 8.4 MB, no whole number of pages
    QByteArray bytes(kCount * WeightRecord::kSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kCount; ++i)
        WeightRecord::Make(qint32(i * 31 - 9000000), i).ToBytes(bytes.data() + i * 12);
    QVERIFY(WriteFile(strPath, bytes));
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QCOMPARE(arrRecords.Count(), kCount);
    for (qint64 i = 0; i < kCount; ++i) {
        if (arrRecords[i].m_nValue != qint32(i * 31 - 9000000) ||
            arrRecords[i].FileTime() != WeightRecord::FileTimeFromUnixMs(i))
            QFAIL(qPrintable(QString("record %1 differs").arg(i)));
    }
    // Moved, the records stay where they are; the moved-from buffer is empty.
    const WeightRecord* pFirst = &arrRecords[0];
    CRecordBuffer arrMoved(std::move(arrRecords));
    QCOMPARE(&arrMoved[0], pFirst);
    QCOMPARE(arrRecords.Count(), qint64(0));
    arrRecords = std::move(arrMoved);
    QCOMPARE(arrRecords[kCount - 1].m_nValue, qint32((kCount - 1) * 31 - 9000000));
}

void CRecordingFilesTest::readerRefusesWhatIsNotARegularFile()
{
    QTemporaryDir dir;
    CRecordBuffer arrRecords(1);
    int nError = 0;
    QVERIFY(!CRecordingReader::Read(dir.path() + "/missing.Dat", arrRecords, nError));
    QCOMPARE(nError, ENOENT);
    QVERIFY(!CRecordingReader::Read(dir.path(), arrRecords, nError));
    QCOMPARE(nError, EINVAL);
    const QString strFifo = dir.path() + "/fifo.Dat";
    QCOMPARE(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    // Would block for good if the reader waited for a writer.
    QVERIFY(!CRecordingReader::Read(strFifo, arrRecords, nError));
    QCOMPARE(nError, EINVAL);
    QCOMPARE(arrRecords.Count(), qint64(1)); // untouched by every refusal
}

void CRecordingFilesTest::nameClashesMoveBothFilesOn()
{
    QTemporaryDir dir;
    const QString strProgram = dir.path() + "/";
    const qint64 nNow = UtcMs(2024, 1, 4, 19, 7, 9);
    QVERIFY(QDir().mkpath(strProgram + "数据文件"));
    QVERIFY(QDir().mkpath(strProgram + "文本文件"));
    // An older recording of the same second, and a stray text file one further.
    QVERIFY(WriteFile(strProgram + "数据文件/202415_3_7_9.Dat", QByteArray(24, 'a')));
    QVERIFY(WriteFile(strProgram + "文本文件/202415_3_7_9.txt", "old\r\n"));
    QVERIFY(WriteFile(strProgram + "文本文件/202415_3_7_9_2.txt", "stray\r\n"));

    CRealTimeRecording first([nNow] { return nNow; });
    QVERIFY(first.Open(strProgram));
    QCOMPARE(QFileInfo(first.DataPath()).fileName(), QString("202415_3_7_9_3.Dat"));
    QCOMPARE(QFileInfo(first.TextPath()).fileName(), QString("202415_3_7_9_3.txt"));
    // A second recording in the same second, while the first still runs.
    CRealTimeRecording second([nNow] { return nNow; });
    QVERIFY(second.Open(strProgram));
    QCOMPARE(QFileInfo(second.DataPath()).fileName(), QString("202415_3_7_9_4.Dat"));
    QVERIFY(first.Append(1));
    QVERIFY(second.Append(2));
    first.Close();
    second.Close();

    QCOMPARE(Files(strProgram),
             QStringList({"数据文件/202415_3_7_9.Dat", "数据文件/202415_3_7_9_3.Dat",
                          "数据文件/202415_3_7_9_4.Dat", "文本文件/202415_3_7_9.txt",
                          "文本文件/202415_3_7_9_2.txt", "文本文件/202415_3_7_9_3.txt",
                          "文本文件/202415_3_7_9_4.txt"}));
    QCOMPARE(ReadFile(strProgram + "数据文件/202415_3_7_9.Dat"), QByteArray(24, 'a'));
    QCOMPARE(ReadFile(strProgram + "文本文件/202415_3_7_9.txt"), QByteArray("old\r\n"));
    QCOMPARE(ReadFile(strProgram + "文本文件/202415_3_7_9_2.txt"), QByteArray("stray\r\n"));
    QVERIFY(ReadFile(strProgram + "文本文件/202415_3_7_9_4.txt").startsWith("2    "));
}

void CRecordingFilesTest::emptyRecordingLeavesNoFilesAndKeepsOlderOnes()
{
    QTemporaryDir dir;
    const QString strProgram = dir.path() + "/";
    const qint64 nNow = UtcMs(2024, 1, 4, 19, 7, 9);
    QVERIFY(QDir().mkpath(strProgram + "数据文件"));
    // An older file of that name that happens to be empty is not this recording's.
    QVERIFY(WriteFile(strProgram + "数据文件/202415_3_7_9.Dat", QByteArray()));
    {
        CRealTimeRecording recording([nNow] { return nNow; });
        QVERIFY(recording.Open(strProgram)); // makes the missing text folder too
        QVERIFY(QFileInfo::exists(recording.TextPath()));
    } // closed by its destructor
    QCOMPARE(Files(strProgram), QStringList({"数据文件/202415_3_7_9.Dat"}));
}

void CRecordingFilesTest::userNamedFileIsTruncatedOnlyWhenFree()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/mine.Dat";
    QVERIFY(WriteFile(strPath, "previous contents"));
    CRecordingFile file;
    QVERIFY(file.CreateOrTruncate(strPath));
    QCOMPARE(QFileInfo(strPath).size(), 0);
    QVERIFY(file.AppendRecord(WeightRecord::Make(7, 0)));
    // A second writer on the same file is refused and cuts nothing.
    CRecordingFile other;
    QVERIFY(!other.CreateOrTruncate(strPath));
    QCOMPARE(other.Error(), EWOULDBLOCK);
    QCOMPARE(QFileInfo(strPath).size(), 12);
    file.Close();
    // Chosen by the user before it existed, and nothing came: no file is left.
    const QString strNew = dir.path() + "/new.Dat";
    QVERIFY(file.CreateOrTruncate(strNew));
    file.Close();
    QVERIFY(!QFileInfo::exists(strNew));
    // An existing file the user chose stays, even empty.
    QVERIFY(file.CreateOrTruncate(strPath));
    file.Close();
    QVERIFY(QFileInfo::exists(strPath));
}

void CRecordingFilesTest::runningRecordingRefusesReaders()
{
    QTemporaryDir dir;
    CRealTimeRecording recording;
    QVERIFY(recording.Open(dir.path() + "/"));
    QVERIFY(recording.Append(5));
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(!CRecordingReader::Read(recording.DataPath(), arrRecords, nError));
    QCOMPARE(nError, EWOULDBLOCK);
    const QString strPath = recording.DataPath();
    recording.Close();
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QCOMPARE(arrRecords.Count(), qint64(1));
    QCOMPARE(arrRecords[0].m_nValue, 5);
}

void CRecordingFilesTest::shortWriteIsCutBackToTheLastRecord()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/limited.Dat";
    // The limit applies to the whole process: a child takes it.
    const pid_t pid = ::fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t nHard = limit.rlim_max;
        limit.rlim_cur = 100; // record 9 would end at byte 108
        ::setrlimit(RLIMIT_FSIZE, &limit);
        CRecordingFile file;
        if (!file.CreateNew(strPath))
            ::_exit(10);
        for (int i = 1; i <= 8; ++i)
            if (!file.AppendRecord(WeightRecord::Make(i, i)))
                ::_exit(11);
        if (file.AppendRecord(WeightRecord::Make(9, 9)) || file.Error() != EFBIG)
            ::_exit(12);
        if (file.AppendRecord(WeightRecord::Make(10, 10)))
            ::_exit(13);
        if (file.TakeFailureToReport() != EFBIG || file.TakeFailureToReport() != 0)
            ::_exit(14);
        limit.rlim_cur = nHard;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (!file.AppendRecord(WeightRecord::Make(11, 11)))
            ::_exit(15);
        file.Close();
        ::_exit(0);
    }
    int nStatus = 0;
    QCOMPARE(::waitpid(pid, &nStatus, 0), pid);
    QVERIFY(WIFEXITED(nStatus));
    QCOMPARE(WEXITSTATUS(nStatus), 0);
    QCOMPARE(QFileInfo(strPath).size(), 9 * 12);
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QCOMPARE(arrRecords.Count(), qint64(9));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(arrRecords[i].m_nValue, i + 1);
    QCOMPARE(arrRecords[8].m_nValue, 11);
    QCOMPARE(arrRecords[8].FileTime(), WeightRecord::FileTimeFromUnixMs(11));
}

void CRecordingFilesTest::freeNamesAreTriedInOrderAndBounded()
{
    QCOMPARE(CFreeName::Suffix(1), QString());
    QCOMPARE(CFreeName::Suffix(2), QString("_2"));
    struct Case
    {
        int m_nTaken;     // names that exist already
        int m_nStopError; // what the name after them gives
        int m_nResult;
        int m_nTries;
    };
    const Case arrCases[] = {
        {0, 0, 0, 1},
        {2, 0, 0, 3},
        {1, EACCES, EACCES, 2},
        {CFreeName::kMaxNames, 0, EEXIST, CFreeName::kMaxNames},
    };
    for (const Case& c : arrCases) {
        QList<int> arrTried;
        const int nResult = CFreeName::Claim([&](int nNumber) {
            arrTried.append(nNumber);
            return nNumber <= c.m_nTaken ? EEXIST : c.m_nStopError;
        });
        QCOMPARE(nResult, c.m_nResult);
        QCOMPARE(arrTried.size(), c.m_nTries);
        for (int i = 0; i < arrTried.size(); ++i)
            QCOMPARE(arrTried[i], i + 1);
    }
}

// Writers that start in the same second never share a name and never lose
// each other's text: names are claimed by exclusive creation.
void CRecordingFilesTest::concurrentArchivesOfOneSecondGetTheirOwnNames()
{
    QTemporaryDir dir;
    const QDateTime tLocal(QDate(2027, 3, 4), QTime(5, 6, 7));
    constexpr int kThreads = 8;
    constexpr int kEach = 5;
    std::vector<CTerminalArchive::Outcome> arrOutcomes(kThreads * kEach);
    std::vector<std::thread> arrThreads;
    for (int t = 0; t < kThreads; ++t)
        arrThreads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                arrOutcomes[size_t(t * kEach + i)] =
                    CTerminalArchive::Write(dir.path(), tLocal, QByteArray::number(t * kEach + i));
        });
    for (std::thread& thread : arrThreads)
        thread.join();
    QSet<QString> setPaths;
    for (int i = 0; i < kThreads * kEach; ++i) {
        QCOMPARE(arrOutcomes[size_t(i)].m_result, CTerminalArchive::Result::Written);
        setPaths.insert(arrOutcomes[size_t(i)].m_strPath);
        QCOMPARE(ReadFile(arrOutcomes[size_t(i)].m_strPath), QByteArray::number(i));
    }
    QCOMPARE(setPaths.size(), kThreads * kEach);
    QVERIFY(setPaths.contains(dir.path() + "/202734-567.txt"));
    QVERIFY(setPaths.contains(dir.path() + "/202734-567_40.txt"));
}

void CRecordingFilesTest::patrolNamesMoveOnTogether()
{
    QTemporaryDir dir;
    const QDateTime tStart(QDate(2026, 12, 8), QTime(9, 15));
    CPatrolRecorder recorder;
    QVERIFY(recorder.Start(dir.path(), 1, tStart));
    recorder.Append(0, 11);
    recorder.Append(1, -2);
    recorder.Stop();
    const QString strFirst = recorder.FilePath(0);
    QCOMPARE(QFileInfo(strFirst).fileName(), QStringLiteral("AD0_2026128_915.sdat"));
    // Only address 5's name is taken: the whole recording still moves on.
    QVERIFY(WriteFile(QDir(dir.path()).filePath(CPatrolRecorder::FileName(5, tStart, 2)), "keep"));

    QVERIFY(recorder.Start(dir.path(), 1, tStart));
    recorder.Append(0, 7);
    recorder.Append(9, 99); // joins later: same time and suffix
    recorder.Stop();
    QCOMPARE(QFileInfo(recorder.FilePath(0)).fileName(), QStringLiteral("AD0_2026128_915_3.sdat"));
    QCOMPARE(QFileInfo(recorder.FilePath(9)).fileName(), QStringLiteral("AD9_2026128_915_3.sdat"));
    QCOMPARE(PatrolFileValues(strFirst), QList<qint32>({11}));
    QCOMPARE(PatrolFileValues(recorder.FilePath(0)), QList<qint32>({7}));
    QCOMPARE(PatrolFileValues(recorder.FilePath(9)), QList<qint32>({99}));
    QCOMPARE(ReadFile(QDir(dir.path()).filePath(CPatrolRecorder::FileName(5, tStart, 2))),
             QByteArray("keep"));
    // Addresses named at the start keep their empty files; others leave none.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList({"AD0_2026128_915.sdat", "AD0_2026128_915_3.sdat", "AD1_2026128_915.sdat",
                          "AD1_2026128_915_3.sdat", "AD5_2026128_915_2.sdat",
                          "AD9_2026128_915_3.sdat"}));
    // Appends outside a recording go nowhere.
    recorder.Append(0, 5);
    QCOMPARE(PatrolFileValues(recorder.FilePath(0)), QList<qint32>({7}));
}

// The page records into the working folder by relative names, so a folder
// whose name is no valid UTF-8 works as well as any.
void CRecordingFilesTest::patrolNamesAreRelativeToTheWorkingFolder()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/caf\xe9\xff";
    QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    const QByteArray previous = QFile::encodeName(QDir::currentPath());
    QCOMPARE(::chdir(folder.constData()), 0);
    const QDateTime tStart(QDate(2026, 1, 2), QTime(3, 4));
    CPatrolRecorder recorder;
    const bool bStarted = recorder.Start(QString(), 0, tStart);
    recorder.Append(0, 5);
    recorder.Append(3, -6);
    recorder.Stop();
    const QList<qint32> arrFirst = PatrolFileValues("AD0_202612_34.sdat");
    const QList<qint32> arrFourth = PatrolFileValues("AD3_202612_34.sdat");
    // Removed by hand: QTemporaryDir cannot name the folder.
    const bool bRemoved =
        ::unlink("AD0_202612_34.sdat") == 0 && ::unlink("AD3_202612_34.sdat") == 0;
    QCOMPARE(::chdir(previous.constData()), 0);
    QCOMPARE(::rmdir(folder.constData()), 0);
    QVERIFY(bStarted);
    QVERIFY(bRemoved);
    QVERIFY(QFileInfo(recorder.FilePath(3)).isRelative());
    QCOMPARE(arrFirst, QList<qint32>({5}));
    QCOMPARE(arrFourth, QList<qint32>({-6}));
}

void CRecordingFilesTest::archivesNeverTruncate()
{
    QTemporaryDir dir;
    const QDateTime t1(QDate(2027, 1, 12), QTime(10, 0, 0));
    const QDateTime t2(QDate(2027, 11, 2), QTime(10, 0, 0));
    const auto first = CTerminalArchive::Write(dir.path(), t1, "first");
    const auto second = CTerminalArchive::Write(dir.path() + QLatin1Char('/'), t2, "second");
    const auto third = CTerminalArchive::Write(dir.path(), t2, "third");
    QCOMPARE(first.m_result, CTerminalArchive::Result::Written);
    QCOMPARE(second.m_result, CTerminalArchive::Result::Written);
    QCOMPARE(third.m_result, CTerminalArchive::Result::Written);
    QCOMPARE(QFileInfo(first.m_strPath).fileName(), QStringLiteral("2027112-1000.txt"));
    QCOMPARE(QFileInfo(second.m_strPath).fileName(), QStringLiteral("2027112-1000_2.txt"));
    QCOMPARE(QFileInfo(third.m_strPath).fileName(), QStringLiteral("2027112-1000_3.txt"));
    QCOMPARE(ReadFile(first.m_strPath), QByteArray("first"));
    QCOMPARE(ReadFile(second.m_strPath), QByteArray("second"));
    QCOMPARE(ReadFile(third.m_strPath), QByteArray("third"));
    // An empty archive is a file too.
    const auto empty = CTerminalArchive::Write(dir.path(), t1, QByteArray());
    QCOMPARE(empty.m_result, CTerminalArchive::Result::Written);
    QVERIFY(QFileInfo::exists(empty.m_strPath));
}

void CRecordingFilesTest::archiveFolderPathIsNotCut()
{
    QTemporaryDir dir;
    QString strDeep = dir.path();
    while (strDeep.size() < 400)
        strDeep += QStringLiteral("/folder_with_a_long_name_") + QString::number(strDeep.size());
    QVERIFY(QDir().mkpath(strDeep));
    const auto outcome = CTerminalArchive::Write(strDeep, QDateTime::currentDateTime(), "x");
    QCOMPARE(outcome.m_result, CTerminalArchive::Result::Written);
    QVERIFY(outcome.m_strPath.startsWith(strDeep));
    QCOMPARE(ReadFile(outcome.m_strPath), QByteArray("x"));
}

void CRecordingFilesTest::userNamedFileReportsItsFirstFailureOnce_data()
{
    QTest::addColumn<QString>("strPath"); // below the test's folder unless absolute
    QTest::addColumn<int>("nError");
    QTest::newRow("full device") << "/dev/full" << ENOSPC;
    QTest::newRow("below a plain file") << "plain/mine.Dat" << ENOTDIR;
    QTest::newRow("missing folder") << "gone/mine.Dat" << ENOENT;
    QTest::newRow("file size limit") << "mine.Dat" << EFBIG;
}

void CRecordingFilesTest::userNamedFileReportsItsFirstFailureOnce()
{
    QFETCH(QString, strPath);
    QFETCH(int, nError);
    QTemporaryDir dir;
    QVERIFY(WriteFile(dir.path() + "/plain", "x"));
    if (!strPath.startsWith('/'))
        strPath = dir.path() + "/" + strPath;
    std::optional<CFileSizeLimit> limit;
    if (nError == EFBIG)
        limit.emplace(30); // two records fit
    CRecordingFile file;
    const bool bOpened = file.CreateOrTruncate(strPath);
    QCOMPARE(bOpened, nError == ENOSPC || nError == EFBIG);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(file.AppendRecord(WeightRecord::Make(i, 0)), nError == EFBIG && i <= 2);
    if (bOpened)
        QCOMPARE(file.Error(), nError); // not the closed file's EBADF after it
    QCOMPARE(file.TakeFailureToReport(), nError);
    QVERIFY(!file.AppendRecord(WeightRecord::Make(4, 0)));
    QCOMPARE(file.TakeFailureToReport(), 0);
    file.Close();
    limit.reset();
    if (nError == EFBIG)
        QCOMPARE(QFileInfo(strPath).size(), 24);
    QVERIFY(QFileInfo::exists("/dev/full")); // a device is never removed
    QCOMPARE(ReadFile(dir.path() + "/plain"), QByteArray("x"));
}

void CRecordingFilesTest::realTimeRecordingReportsItsFirstFailureOnce()
{
    QFETCH(Fault, fault);
    QFETCH(int, nError);
    QTemporaryDir dir;
    const QString strProgram = FaultFolder(dir, fault) + "/";
    std::optional<CUnwritableFolder> unwritable;
    if (fault == Fault::Unwritable) {
        unwritable.emplace(strProgram);
        if (!unwritable->IsSet())
            QSKIP(qPrintable(unwritable->Why()));
        nError = unwritable->Error();
    }
    std::optional<CFileSizeLimit> limit;
    if (fault == Fault::SizeLimit)
        limit.emplace(30); // two records fit, one text line
    CRealTimeRecording recording;
    const bool bOpened = recording.Open(strProgram);
    QCOMPARE(bOpened, fault == Fault::SizeLimit);
    QCOMPARE(recording.IsOpen(), bOpened);
    for (int i = 1; i <= 3; ++i)
        recording.Append(i);
    QCOMPARE(recording.TakeFailureToReport(), nError);
    QVERIFY(!recording.Append(4));
    QCOMPARE(recording.TakeFailureToReport(), 0);
    recording.Close();
    limit.reset();
    if (bOpened)
        QCOMPARE(QFileInfo(recording.DataPath()).size(), 24);
    else if (fault == Fault::BelowAPlainFile)
        QCOMPARE(ReadFile(dir.path() + "/plain"), QByteArray("x"));
}

void CRecordingFilesTest::patrolRecordingReportsItsFirstFailureOnce()
{
    QFETCH(Fault, fault);
    QFETCH(int, nError);
    QTemporaryDir dir;
    const QString strFolder = FaultFolder(dir, fault);
    std::optional<CUnwritableFolder> unwritable;
    if (fault == Fault::Unwritable) {
        unwritable.emplace(strFolder);
        if (!unwritable->IsSet())
            QSKIP(qPrintable(unwritable->Why()));
        nError = unwritable->Error();
    }
    const QDateTime tStart(QDate(2026, 12, 8), QTime(9, 15));
    CPatrolRecorder recorder;
    QList<CPatrolRecorder::Failure> arrFailures;
    recorder.SetFailureReporter(
        [&](const CPatrolRecorder::Failure& failure) { arrFailures.append(failure); });
    std::optional<CFileSizeLimit> limit;
    if (fault == Fault::SizeLimit)
        limit.emplace(12); // three values
    // Addresses 0 to 2 in turn: address 0's fourth value is one too many.
    const auto patrol = [&] {
        for (int i = 0; i < 10; ++i) {
            recorder.Append(i % 3, i);
            recorder.Flush();
        }
    };
    QCOMPARE(recorder.Start(strFolder, 2, tStart), fault == Fault::SizeLimit);
    patrol();
    // A failed address stays quiet; one failure per address at most.
    const int nFailures = fault == Fault::SizeLimit ? 1 : 3;
    QCOMPARE(arrFailures.size(), nFailures);
    for (int i = 0; i < nFailures; ++i) {
        QCOMPARE(arrFailures[i].m_nError, nError);
        QCOMPARE(arrFailures[i].m_bFirstOfRecording, i == 0);
        QVERIFY(arrFailures[i].m_strPath.endsWith(QStringLiteral(".sdat")));
    }
    QCOMPARE(arrFailures[0].m_nAddress, 0);
    QCOMPARE(arrFailures[0].m_strReason, QString::fromLocal8Bit(std::strerror(nError)));
    recorder.Stop();
    QCOMPARE(arrFailures.size(), nFailures);
    if (fault == Fault::SizeLimit) {
        QCOMPARE(PatrolFileValues(recorder.FilePath(0)), QList<qint32>({0, 3, 6}));
        QCOMPARE(PatrolFileValues(recorder.FilePath(1)), QList<qint32>({1, 4, 7}));
    }
    // The next recording reports afresh.
    recorder.Start(strFolder, 2, tStart);
    patrol();
    recorder.Stop();
    QCOMPARE(arrFailures.size(), 2 * nFailures);
    QVERIFY(arrFailures[nFailures].m_bFirstOfRecording);
}

void CRecordingFilesTest::archiveFailuresAreReportedAndLeaveNoFile()
{
    QFETCH(Fault, fault);
    QFETCH(int, nError);
    QTemporaryDir dir;
    const QString strFolder = FaultFolder(dir, fault);
    std::optional<CUnwritableFolder> unwritable;
    if (fault == Fault::Unwritable) {
        unwritable.emplace(strFolder);
        if (!unwritable->IsSet())
            QSKIP(qPrintable(unwritable->Why()));
        nError = unwritable->Error();
    }
    CTerminalArchive::Outcome outcome;
    {
        std::optional<CFileSizeLimit> limit;
        if (fault == Fault::SizeLimit)
            limit.emplace(4096);
        outcome = CTerminalArchive::Write(strFolder, QDateTime::currentDateTime(),
                                          QByteArray(10000, 'x'));
    }
    QCOMPARE(outcome.m_result, fault == Fault::SizeLimit ? CTerminalArchive::Result::WriteFailed
                                                         : CTerminalArchive::Result::CreateFailed);
    QCOMPARE(outcome.m_nError, nError);
    QVERIFY(outcome.m_strPath.startsWith(strFolder + "/"));
    QVERIFY(!QFileInfo::exists(outcome.m_strPath));
}

QTEST_GUILESS_MAIN(CRecordingFilesTest)
#include "RecordingFilesTest.moc"
