#include "TestPageContext.h"
#include "curves/FlyDialog.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "recording/RealTimeRecording.h"
#include "recording/RecordingFile.h"
#include "recording/RecordingReader.h"

#include "TestFiles.h"
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <QTest>
#include <QUrl>

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 15000;

QByteArray RecordBytes(qint64 nCount, qint32 nFirstValue)
{
    QByteArray bytes;
    bytes.reserve(int(nCount * WeightRecord::kSize));
    for (qint64 i = 0; i < nCount; ++i) {
        char record[WeightRecord::kSize];
        WeightRecord::Make(qint32(nFirstValue + i), 1700000000000LL + i * 50).ToBytes(record);
        bytes.append(record, sizeof record);
    }
    return bytes;
}

QStringList FilesIn(const QString& strDir)
{
    QStringList arr = QDir(strDir).entryList(QDir::Files);
    arr.sort();
    return arr;
}

// Sends what the plot hands on to its page: the plot covers the page.
void Mouse(QWidget& plot, QEvent::Type type, QPoint pt, Qt::MouseButton button,
           Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, QPointF(pt), plot.mapToGlobal(QPointF(pt)), button, buttons, modifiers);
    QApplication::sendEvent(&plot, &event);
}

void RightDrag(QWidget& plot, int nFromX, int nToX)
{
    Mouse(plot, QEvent::MouseButtonPress, QPoint(nFromX, 100), Qt::RightButton, Qt::RightButton);
    Mouse(plot, QEvent::MouseMove, QPoint(nToX, 100), Qt::NoButton, Qt::RightButton);
    Mouse(plot, QEvent::MouseButtonRelease, QPoint(nToX, 100), Qt::RightButton, Qt::NoButton);
}

} // namespace

class CCurvePagesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("TZ", "CST-8");
        tzset();
    }

    void realTimeRecordsWhatItPlots();
    void hidingBeforeAnyValueLeavesNoFiles();
    void sameSecondRestartWritesSuffix();
    void unwritableFolderGivesOneBox();
    void fileSizeLimitKeepsWholeRecords();
    void quickHideShowResumesPolling();
    void faultyRepliesAreNotRecorded();
    void lostPortComesBackWithTheRecordingWhole();
    void closedPortIsOpenedOnShow();

    void historyShowsAndDragsThroughAFile();
    void historyDropsLoadInOrder();
    void historyRefusesWhatItCannotRead();
    void historyTakesOddFiles();
    void historyZoomsWithTheWheel();
};

void CCurvePagesTest::realTimeRecordsWhatItPlots()
{
    CTestPageContext context;
    context.m_nCurAddress = 3;
    CPlotDisplayDialog page(context);
    page.resize(900, 500);
    const qint64 nStart =
        QDateTime(QDate(2024, 1, 4), QTime(19, 7, 9), Qt::UTC).toMSecsSinceEpoch();
    std::atomic<qint64> nNow{nStart};
    page.SetClock([&nNow] { return nNow += 1; });
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 3, kWaitMs);
    QVERIFY(page.Plot().Statistics()->isVisible());
    page.hide();
    QVERIFY(!page.Plot().Statistics()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    QCOMPARE(page.Address(), 3);

    const QList<QByteArray> arrFrames = context.Simulator().Bus().FrameLog();
    QVERIFY(arrFrames.size() >= 5);
    QCOMPARE(arrFrames[0], QByteArray("S03;COF8;"));
    QCOMPARE(arrFrames[1], QByteArray("S03;SPW\"NiLOx\";"));
    QCOMPARE(arrFrames[2], QByteArray("S03;MSV?;"));

    const QString strDir = context.ProgramDirectory();
    QCOMPARE(page.DataPath(), strDir + "数据文件/202415_3_7_9.Dat");
    QCOMPARE(page.TextPath(), strDir + "文本文件/202415_3_7_9.txt");
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(page.DataPath(), arrRecords, nError));
    QCOMPARE(QFileInfo(page.DataPath()).size(), qint64(arrRecords.Count()) * 12);
    QCOMPARE(int(arrRecords.Count()), page.ValueCount());
    const QList<QByteArray> arrLines = ReadFile(page.TextPath()).split('\n');
    QCOMPARE(arrLines.size(), int(arrRecords.Count()) + 1);
    for (qint64 i = 0; i < arrRecords.Count(); ++i) {
        const qint64 nMs =
            (qint64(arrRecords[i].FileTime()) - WeightRecord::kUnixEpochFileTime) / 10000;
        QVERIFY(nMs > nStart);
        QCOMPARE(arrLines[int(i)] + '\n', WeightRecord::TextLine(arrRecords[i].m_nValue, nMs));
    }
    QVERIFY(context.Messages().isEmpty());
}

void CCurvePagesTest::hidingBeforeAnyValueLeavesNoFiles()
{
    CTestPageContext context;
    context.m_nCurAddress = 3;
    // The set-up is acknowledged, but no measured value passes its check.
    context.Checksum() = 1;
    SimFaults faults;
    faults.m_bCorruptCheck = true;
    context.Simulator().SetFaults(faults);
    const QString strDir = context.ProgramDirectory();
    QVERIFY(QDir().mkpath(strDir + "数据文件"));
    QVERIFY(WriteFile(strDir + "数据文件/202415_3_7_9.Dat", "older"));
    CPlotDisplayDialog page(context);
    const qint64 nNow = QDateTime(QDate(2024, 1, 4), QTime(19, 7, 9), Qt::UTC).toMSecsSinceEpoch();
    page.SetClock([nNow] { return nNow; });
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(context.Simulator().Bus().FrameLog().contains("S03;MSV?;"), kWaitMs);
    QVERIFY(QFileInfo::exists(strDir + "文本文件/202415_3_7_9_2.txt"));
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    QCOMPARE(page.ValueCount(), 0);
    QCOMPARE(FilesIn(strDir + "数据文件"), QStringList({"202415_3_7_9.Dat"}));
    QCOMPARE(FilesIn(strDir + "文本文件"), QStringList());
    QCOMPARE(ReadFile(strDir + "数据文件/202415_3_7_9.Dat"), QByteArray("older"));
}

void CCurvePagesTest::sameSecondRestartWritesSuffix()
{
    CTestPageContext context;
    context.m_nCurAddress = 1;
    CPlotDisplayDialog page(context);
    const qint64 nNow = QDateTime(QDate(2024, 1, 4), QTime(19, 7, 9), Qt::UTC).toMSecsSinceEpoch();
    page.SetClock([nNow] { return nNow; });
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 2, kWaitMs);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    const QByteArray first = ReadFile(page.DataPath());
    // The selection changes elsewhere: the next show polls the new address.
    context.m_nCurAddress = 17;
    const int nBefore = page.ValueCount();
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= nBefore + 2, kWaitMs);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    QCOMPARE(page.Address(), 17);
    QVERIFY(page.DataPath().endsWith("数据文件/202415_3_7_9_2.Dat"));
    QVERIFY(page.TextPath().endsWith("文本文件/202415_3_7_9_2.txt"));
    const QString strDir = context.ProgramDirectory();
    QCOMPARE(ReadFile(strDir + "数据文件/202415_3_7_9.Dat"), first);
    QCOMPARE(FilesIn(strDir + "文本文件"), QStringList({"202415_3_7_9.txt", "202415_3_7_9_2.txt"}));
    QVERIFY(context.Simulator().Bus().FrameLog().contains("S17;MSV?;"));
}

void CCurvePagesTest::unwritableFolderGivesOneBox()
{
    CTestPageContext context;
    context.m_nCurAddress = 1;
    // A program folder below a plain file fails with ENOTDIR, for root too.
    const QString strPlain = context.ProgramDirectory() + "plain";
    QVERIFY(WriteFile(strPlain, "x"));
    context.SetProgramDirectory(strPlain + "/");
    CPlotDisplayDialog page(context);
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 50, kWaitMs);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    QCOMPARE(context.Messages(), QStringList({QString("写文件错误,错误码:%1").arg(ENOTDIR)}));
    // The curve grew all the same.
    QVERIFY(page.Plot().VisibleCount(0) >= 50);
}

// The file size limit binds the whole process, so the recording runs in a
// child: this test program again, running only this test.
void CCurvePagesTest::fileSizeLimitKeepsWholeRecords()
{
    static const char* const kChildVariable = "TOLVEX_FSIZE_CHILD";
    if (!qEnvironmentVariableIsSet(kChildVariable)) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kChildVariable, "1");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"fileSizeLimitKeepsWholeRecords"});
        QVERIFY(child.waitForFinished(4 * kWaitMs));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 child.readAll().constData());
        return;
    }

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlim_t nUnlimited = limit.rlim_cur;
    // Record 21 would be cut after 5 bytes.
    limit.rlim_cur = 20 * WeightRecord::kSize + 5;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    const quint64 nBefore = WeightRecord::FileTimeFromUnixMs(QDateTime::currentMSecsSinceEpoch());
    CTestPageContext context;
    context.m_nCurAddress = 3;
    CPlotDisplayDialog page(context);
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 40, kWaitMs);
    limit.rlim_cur = nUnlimited;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int nAtLift = page.ValueCount();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= nAtLift + 20, kWaitMs);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);

    QCOMPARE(context.Messages(), QStringList({QString("写文件错误,错误码:%1").arg(EFBIG)}));
    QCOMPARE(QFileInfo(page.DataPath()).size() % WeightRecord::kSize, 0);
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(page.DataPath(), arrRecords, nError));
    // The first 20 values, none while the limit held, and those after it.
    QVERIFY(arrRecords.Count() >= 20 + 20);
    QVERIFY(arrRecords.Count() < page.ValueCount());
    // A record shifted by a partial write would read as a time out of the run.
    const quint64 nAfter = WeightRecord::FileTimeFromUnixMs(QDateTime::currentMSecsSinceEpoch());
    quint64 nPrevious = nBefore;
    for (qint64 i = 0; i < arrRecords.Count(); ++i) {
        QVERIFY(arrRecords[i].FileTime() >= nPrevious);
        QVERIFY(arrRecords[i].FileTime() <= nAfter);
        nPrevious = arrRecords[i].FileTime();
    }
}

void CCurvePagesTest::quickHideShowResumesPolling()
{
    CTestPageContext context;
    context.m_nCurAddress = 3;
    CPlotDisplayDialog page(context);
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 1, kWaitMs);
    for (int i = 0; i < 5; ++i) {
        page.hide();
        page.show(); // the old worker may still be ending
    }
    const int nBefore = page.ValueCount();
    QTRY_VERIFY_WITH_TIMEOUT(page.IsRunning() && page.ValueCount() >= nBefore + 5, kWaitMs);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
}

void CCurvePagesTest::faultyRepliesAreNotRecorded()
{
    CTestPageContext context;
    context.m_nCurAddress = 3;
    context.Checksum() = 1;
    SimFaults faults;
    faults.m_bCorruptCheck = true;
    context.Simulator().SetFaults(faults);
    CPlotDisplayDialog page(context);
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ReadCount() >= 5, kWaitMs);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    QCOMPARE(page.ValueCount(), 0);
    QCOMPARE(FilesIn(context.ProgramDirectory() + "数据文件"), QStringList());
    QCOMPARE(FilesIn(context.ProgramDirectory() + "文本文件"), QStringList());
}

void CCurvePagesTest::lostPortComesBackWithTheRecordingWhole()
{
    QTemporaryDir dir;
    const QString strLink = dir.filePath("ttyBUS");
    CTestPageContext context(SimOptions(), strLink);
    context.m_nCurAddress = 3;
    CPlotDisplayDialog page(context);
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 3, kWaitMs);
    context.Simulator().Stop(); // the adapter goes away, and its name with it
    QTRY_VERIFY_WITH_TIMEOUT(!context.IsPortOpen(), kWaitMs);
    // Reads go on failing (each waits its time-out: the poll's own test).
    const int nReadsAtLoss = page.ReadCount();
    QTRY_VERIFY_WITH_TIMEOUT(page.ReadCount() > nReadsAtLoss, kWaitMs);

    // Plugged in again under the same name: the link reopens it and the shown
    // page plots again without being shown anew.
    const int nValuesAtLoss = page.ValueCount();
    QVERIFY(!context.Simulator().Start(strLink).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(context.StatusTexts().contains(QString::fromUtf8("串口1已重新连接")),
                             kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() > nValuesAtLoss + 3, kWaitMs);
    QCOMPARE(context.Messages().filter(QString::fromUtf8("串口1已断开")).size(), 1);
    page.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!page.IsRunning(), kWaitMs);
    // What was recorded stays whole.
    CRecordBuffer arrRecords;
    int nError = 0;
    QVERIFY(CRecordingReader::Read(page.DataPath(), arrRecords, nError));
    QVERIFY(int(arrRecords.Count()) >= page.ValueCount());
    QCOMPARE(QFileInfo(page.DataPath()).size() % 12, 0);
}

void CCurvePagesTest::closedPortIsOpenedOnShow()
{
    CTestPageContext context;
    context.m_nCurAddress = 1;
    QVERIFY(!context.IsPortOpen());
    CPlotDisplayDialog page(context);
    page.show();
    QVERIFY(context.IsPortOpen());
    QTRY_VERIFY_WITH_TIMEOUT(page.ValueCount() >= 1, kWaitMs);
    page.StopWorker();
    QVERIFY(!page.IsRunning());
    // A port that cannot open: nothing polled, no files. (A stopped
    // simulator's device name may be taken by another program's new
    // pseudo-terminal at once, so the name is one that never exists.)
    CTestPageContext closed;
    closed.BusLink().SetDeviceResolver(
        [](int) { return QStringLiteral("/nonexistent/tolvex-pty"); });
    CPlotDisplayDialog other(closed);
    other.show();
    QVERIFY(!closed.IsPortOpen());
    QVERIFY(!other.IsRunning());
    QCOMPARE(other.Start(), 0);
    QVERIFY(!QFileInfo::exists(closed.ProgramDirectory() + "数据文件"));
}

void CCurvePagesTest::historyShowsAndDragsThroughAFile()
{
    CTestPageContext context;
    CHistoryDialog page(context);
    page.resize(1300, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTemporaryDir dir;
    const QString strFile = dir.path() + "/a.Dat";
    QVERIFY(WriteFile(strFile, RecordBytes(2440, 1000)));
    QCOMPARE(QFileInfo(strFile).size(), 29280);
    QVERIFY(page.Load(strFile));
    QCOMPARE(page.RecordCount(), 2440);
    QCOMPARE(page.FileName(), strFile);
    C2dPlot& plot = page.Plot();
    QVERIFY(!plot.Statistics()->isVisible());

    const auto status = [&context] { return context.StatusTexts().last(); };
    Mouse(plot, QEvent::MouseMove, QPoint(40, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(status(), QString("         当前值:1000"));
    Mouse(plot, QEvent::MouseMove, QPoint(39, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(status(), QString());
    Mouse(plot, QEvent::MouseMove, QPoint(40 + 1219, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(status(), QString("         当前值:2219"));

    RightDrag(plot, 300, 350); // right by 50: earlier records, but none before 0
    QCOMPARE(page.HistoryStart(), 0);
    RightDrag(plot, 350, 300); // left by 50
    QCOMPARE(page.HistoryStart(), 50);
    QCOMPARE(status(), QString("         当前值:%1").arg(1000 + 50 + 300 - 40));
    // Shift held: no scrolling.
    Mouse(plot, QEvent::MouseButtonPress, QPoint(300, 100), Qt::RightButton, Qt::RightButton);
    Mouse(plot, QEvent::MouseMove, QPoint(200, 100), Qt::NoButton, Qt::RightButton,
          Qt::ShiftModifier);
    QCOMPARE(page.HistoryStart(), 50);
    // Another button with the right one: no scrolling either.
    Mouse(plot, QEvent::MouseMove, QPoint(200, 100), Qt::NoButton,
          Qt::RightButton | Qt::LeftButton);
    QCOMPARE(page.HistoryStart(), 50);
    QCOMPARE(plot.cursor().shape(), Qt::SizeAllCursor);
    Mouse(plot, QEvent::MouseButtonRelease, QPoint(200, 100), Qt::RightButton, Qt::NoButton);
    QVERIFY(plot.cursor().shape() != Qt::SizeAllCursor);

    RightDrag(plot, 300, 250);
    QCOMPARE(page.HistoryStart(), 100);
    Mouse(plot, QEvent::MouseMove, QPoint(39, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(status(), QString("         当前值:%1").arg(1000 + 99));
    // Dragged far past the end: start stops at the record count.
    RightDrag(plot, 1250, 0);
    RightDrag(plot, 1250, 0);
    QCOMPARE(page.HistoryStart(), 2440);
    Mouse(plot, QEvent::MouseMove, QPoint(40, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(status(), QString());
}

void CCurvePagesTest::historyDropsLoadInOrder()
{
    CTestPageContext context;
    CHistoryDialog page(context);
    page.resize(600, 300);
    page.show();
    QTemporaryDir dir;
    QVERIFY(WriteFile(dir.path() + "/one.Dat", RecordBytes(3, 1)));
    QVERIFY(WriteFile(dir.path() + "/two.Dat", RecordBytes(5, 2)));
    QList<QUrl> arrUrls{QUrl::fromLocalFile(dir.path() + "/one.Dat"),
                        QUrl::fromLocalFile(dir.path() + "/two.Dat"),
                        QUrl::fromLocalFile(dir.path() + "/missing.Dat")};
    QMimeData data;
    data.setUrls(arrUrls);
    // Dropped on the plot, which covers the page: the page takes it.
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&page.Plot(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&page.Plot(), &drop);
    // Loaded after the drop returned.
    QCOMPARE(page.RecordCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(context.Messages().size(), 1, kWaitMs);
    QCOMPARE(context.Messages().first(), QString("读取文件出错!"));
    QCOMPARE(page.FileName(), dir.path() + "/two.Dat");
    QCOMPARE(page.RecordCount(), 5);
}

void CCurvePagesTest::historyRefusesWhatItCannotRead()
{
    CTestPageContext context;
    CHistoryDialog page(context);
    QTemporaryDir dir;
    const QString strGood = dir.path() + "/good.Dat";
    QVERIFY(WriteFile(strGood, RecordBytes(7, 0)));
    QVERIFY(page.Load(strGood));

    const QString strFifo = dir.path() + "/fifo.Dat";
    QCOMPARE(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    const QString strSparse = dir.path() + "/sparse.Dat";
    {
        QFile sparse(strSparse);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(26LL * 1000 * 1000 * 1000));
    }
    CRealTimeRecording recording;
    QVERIFY(recording.Open(dir.path() + "/"));
    QVERIFY(recording.Append(1));
    const QStringList arrBad{dir.path() + "/missing.Dat", strFifo, dir.path(), strSparse,
                             recording.DataPath()};
    for (const QString& strBad : arrBad) {
        context.ClearRecorded();
        QVERIFY2(!page.Load(strBad), qPrintable(strBad));
        QCOMPARE(context.Messages(), QStringList({"读取文件出错!"}));
        QCOMPARE(page.FileName(), strGood);
        QCOMPARE(page.RecordCount(), 7);
        QCOMPARE(page.Plot().HistoryRecordCount(0), 7);
    }
    recording.Close();
    QVERIFY(page.Load(recording.DataPath()));
    QCOMPARE(page.RecordCount(), 1);
}

void CCurvePagesTest::historyTakesOddFiles()
{
    CTestPageContext context;
    CHistoryDialog page(context);
    page.resize(800, 300);
    QTemporaryDir dir;
    QVERIFY(WriteFile(dir.path() + "/odd.Dat", RecordBytes(2, 5) + "x"));
    QVERIFY(page.Load(dir.path() + "/odd.Dat"));
    QCOMPARE(page.RecordCount(), 2);
    QVERIFY(WriteFile(dir.path() + "/empty.Dat", QByteArray()));
    QVERIFY(page.Load(dir.path() + "/empty.Dat"));
    QCOMPARE(page.RecordCount(), 0);
    QVERIFY(!page.Plot().grab().isNull());
    QByteArray random(12 * 3000 + 7, '\0');
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(random.data()), (12 * 3000) / 4);
    QVERIFY(WriteFile(dir.path() + "/random.bin", random));
    QVERIFY(page.Load(dir.path() + "/random.bin"));
    QCOMPARE(page.RecordCount(), 3000);
    QVERIFY(!page.Plot().grab().isNull());
    // A path longer than 260 characters is used whole.
    QString strDeep = dir.path();
    while (strDeep.size() < 300)
        strDeep += "/abcdefghijklmnopqrstuvwxyz0123456789";
    QVERIFY(QDir().mkpath(strDeep));
    QVERIFY(WriteFile(strDeep + "/deep.Dat", RecordBytes(4, 0)));
    QVERIFY(page.Load(strDeep + "/deep.Dat"));
    QCOMPARE(page.RecordCount(), 4);
    QVERIFY(context.Messages().isEmpty());
}

void CCurvePagesTest::historyZoomsWithTheWheel()
{
    CTestPageContext context;
    CHistoryDialog page(context);
    page.resize(1300, 400);
    page.show();
    QTemporaryDir dir;
    QVERIFY(WriteFile(dir.path() + "/z.Dat", RecordBytes(10000, 0)));
    QVERIFY(page.Load(dir.path() + "/z.Dat"));
    const auto wheel = [&page](int nDelta) {
        QWheelEvent event(QPointF(200, 100), page.mapToGlobal(QPointF(200, 100)), QPoint(),
                          QPoint(0, nDelta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&page.Plot(), &event);
    };
    for (int i = 0; i < 6; ++i)
        wheel(-120);
    QCOMPARE(page.Zoom(), 16); // 10000 records fit in 1220 columns of 16
    Mouse(page.Plot(), QEvent::MouseMove, QPoint(40 + 3, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(context.StatusTexts().last(), QString("         当前值:48"));
    RightDrag(page.Plot(), 300, 290);
    QCOMPARE(page.HistoryStart(), 160);
    wheel(120);
    QCOMPARE(page.Zoom(), 8);
    for (int i = 0; i < 6; ++i)
        wheel(120);
    QCOMPARE(page.Zoom(), 1);
}

QTEST_MAIN(CCurvePagesTest)
#include "CurvePagesTest.moc"
