#include "curves/RealTimeRecording.h"
#include "curves/RecordingFile.h"
#include "curves/RecordingReader.h"
#include "curves/WeightRecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

qint64 UtcMs(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond, int nMs = 0)
{
    return QDateTime(QDate(nYear, nMonth, nDay), QTime(nHour, nMinute, nSecond, nMs), Qt::UTC)
        .toMSecsSinceEpoch();
}

QByteArray ReadAll(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void WriteFile(const QString& strPath, const QByteArray& bytes)
{
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
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

    void RecordAndLineOfOneMoment();
    void RecordBytesAreLittleEndianFieldByField();
    void FileTimeConversions();
    void NamesCarryNoLeadingZeros();
    void ThreeValuesAgreeRecordByRecord();
    void ReaderIgnoresTheRemainder();
    void ReaderRefusesWhatIsNotARegularFile();
    void ReaderCopiesFilesOverManyHugePages();
    void NameClashesMoveBothFilesOn();
    void EmptyRecordingLeavesNoFilesAndKeepsOlderOnes();
    void UserNamedFileIsTruncatedOnlyWhenFree();
    void RunningRecordingRefusesReaders();
    void ShortWriteIsCutBackToTheLastRecord();
    void FullDeviceFailsOnceReported();
    void PathBelowAPlainFileFailsOnceReported();
};

void CRecordingFilesTest::RecordAndLineOfOneMoment()
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

void CRecordingFilesTest::RecordBytesAreLittleEndianFieldByField()
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

void CRecordingFilesTest::FileTimeConversions()
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

void CRecordingFilesTest::NamesCarryNoLeadingZeros()
{
    // Local times; the zone is UTC+8.
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 1, 4, 19, 7, 9)), QString("202415_3_7_9"));
    // Two different days, one name: the name does not tell them apart.
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 10, 31, 16, 5, 0)), QString("2024111_0_5_0"));
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 1, 10, 16, 5, 0)), QString("2024111_0_5_0"));
    QCOMPARE(CRealTimeRecording::BaseName(UtcMs(2024, 12, 31, 15, 59, 59)),
             QString("20241231_23_59_59"));
}

void CRecordingFilesTest::ThreeValuesAgreeRecordByRecord()
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
        ReadAll(strProgram + "文本文件/202415_3_7_9.txt").split('\n');
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

void CRecordingFilesTest::ReaderIgnoresTheRemainder()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/x.Dat";
    QByteArray bytes;
    for (int i = 0; i < 2; ++i) {
        char record[WeightRecord::kSize];
        WeightRecord::Make(100 + i, 1000 * i).ToBytes(record);
        bytes.append(record, sizeof record);
    }
    WriteFile(strPath, bytes + "Z");
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QCOMPARE(arrRecords.Count(), qint64(2));
    QCOMPARE(arrRecords[1].m_nValue, 101);
    QCOMPARE(arrRecords[1].FileTime(), WeightRecord::FileTimeFromUnixMs(1000));

    WriteFile(strPath, "short");
    QVERIFY(CRecordingReader::Read(strPath, arrRecords, nError));
    QVERIFY(arrRecords.Count() == 0);
}

// The copy lies in 2 MiB pages where the system gives them: records that
// straddle a page boundary, the mapping's start and its end read back whole.
void CRecordingFilesTest::ReaderCopiesFilesOverManyHugePages()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/big.Dat";
    constexpr qint64 kCount = 700001; // 8.4 MB, no whole number of pages
    QByteArray bytes(kCount * WeightRecord::kSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kCount; ++i)
        WeightRecord::Make(qint32(i * 31 - 9000000), i).ToBytes(bytes.data() + i * 12);
    WriteFile(strPath, bytes);
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

void CRecordingFilesTest::ReaderRefusesWhatIsNotARegularFile()
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

void CRecordingFilesTest::NameClashesMoveBothFilesOn()
{
    QTemporaryDir dir;
    const QString strProgram = dir.path() + "/";
    const qint64 nNow = UtcMs(2024, 1, 4, 19, 7, 9);
    QVERIFY(QDir().mkpath(strProgram + "数据文件"));
    QVERIFY(QDir().mkpath(strProgram + "文本文件"));
    // An older recording of the same second, and a stray text file one further.
    WriteFile(strProgram + "数据文件/202415_3_7_9.Dat", QByteArray(24, 'a'));
    WriteFile(strProgram + "文本文件/202415_3_7_9.txt", "old\r\n");
    WriteFile(strProgram + "文本文件/202415_3_7_9_2.txt", "stray\r\n");

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
    QCOMPARE(ReadAll(strProgram + "数据文件/202415_3_7_9.Dat"), QByteArray(24, 'a'));
    QCOMPARE(ReadAll(strProgram + "文本文件/202415_3_7_9.txt"), QByteArray("old\r\n"));
    QCOMPARE(ReadAll(strProgram + "文本文件/202415_3_7_9_2.txt"), QByteArray("stray\r\n"));
    QVERIFY(ReadAll(strProgram + "文本文件/202415_3_7_9_4.txt").startsWith("2    "));
}

void CRecordingFilesTest::EmptyRecordingLeavesNoFilesAndKeepsOlderOnes()
{
    QTemporaryDir dir;
    const QString strProgram = dir.path() + "/";
    const qint64 nNow = UtcMs(2024, 1, 4, 19, 7, 9);
    QVERIFY(QDir().mkpath(strProgram + "数据文件"));
    // An older file of that name that happens to be empty is not this recording's.
    WriteFile(strProgram + "数据文件/202415_3_7_9.Dat", QByteArray());
    {
        CRealTimeRecording recording([nNow] { return nNow; });
        QVERIFY(recording.Open(strProgram)); // makes the missing text folder too
        QVERIFY(QFileInfo::exists(recording.TextPath()));
    } // closed by its destructor
    QCOMPARE(Files(strProgram), QStringList({"数据文件/202415_3_7_9.Dat"}));
}

void CRecordingFilesTest::UserNamedFileIsTruncatedOnlyWhenFree()
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/mine.Dat";
    WriteFile(strPath, "previous contents");
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

void CRecordingFilesTest::RunningRecordingRefusesReaders()
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

void CRecordingFilesTest::ShortWriteIsCutBackToTheLastRecord()
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

void CRecordingFilesTest::FullDeviceFailsOnceReported()
{
    CRecordingFile file;
    QVERIFY(file.CreateOrTruncate("/dev/full"));
    QVERIFY(!file.AppendRecord(WeightRecord::Make(1, 0)));
    QCOMPARE(file.Error(), ENOSPC);
    QVERIFY(!file.AppendRecord(WeightRecord::Make(2, 0)));
    QCOMPARE(file.TakeFailureToReport(), ENOSPC);
    QVERIFY(!file.AppendRecord(WeightRecord::Make(3, 0)));
    QCOMPARE(file.TakeFailureToReport(), 0);
    file.Close();
    QVERIFY(QFileInfo::exists("/dev/full")); // a device is never removed
}

void CRecordingFilesTest::PathBelowAPlainFileFailsOnceReported()
{
    QTemporaryDir dir;
    const QString strPlain = dir.path() + "/plain";
    WriteFile(strPlain, "x");
    // ENOTDIR does not depend on permissions: it fails for root too.
    CRealTimeRecording recording;
    QVERIFY(!recording.Open(strPlain + "/"));
    QVERIFY(!recording.IsOpen());
    QVERIFY(!recording.Append(1));
    QCOMPARE(recording.TakeFailureToReport(), ENOTDIR);
    QVERIFY(!recording.Append(2));
    QCOMPARE(recording.TakeFailureToReport(), 0);
    recording.Close();
    QCOMPARE(ReadAll(strPlain), QByteArray("x"));

    CRecordingFile file;
    QVERIFY(!file.CreateOrTruncate(strPlain + "/mine.Dat"));
    QCOMPARE(file.TakeFailureToReport(), ENOTDIR);
}

QTEST_GUILESS_MAIN(CRecordingFilesTest)
#include "RecordingFilesTest.moc"
