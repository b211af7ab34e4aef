#include "curves/2dPlot.h"
#include "curves/FlyDialog.h"
#include "curves/HistoryData.h"
#include "curves/PlotCurve.h"
#include "curves/PlotScale.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <ctime>
#include <limits>
#include <thread>

namespace {

constexpr QRgb kGreen = 0xFF00FF00;

std::vector<WeightRecord> Records(qint64 nCount, const std::function<qint32(qint64)>& value)
{
    std::vector<WeightRecord> arr(static_cast<size_t>(nCount));
    for (qint64 i = 0; i < nCount; ++i)
        arr[size_t(i)] = WeightRecord::Make(value(i), 1700000000000LL + i * 100);
    return arr;
}

// Values of the points a curve would draw now.
QList<int> PointValues(CPlotCurve& curve)
{
    const QPoint* pPoints = nullptr;
    const qint64* pTimes = nullptr;
    int nColumns = 0;
    const int n = curve.GetPoints(pPoints, pTimes, nColumns);
    QList<int> arr;
    for (int i = 0; i < n; ++i)
        arr << pPoints[i].y();
    return arr;
}

// A page-sized parent with a plot of one green curve over it.
struct PlotOnPage
{
    explicit PlotOnPage(QSize size = QSize(1300, 400))
    {
        page.resize(size);
        plot.Create(page);
        plot.AddCurve(0, kGreen, 1);
        plot.ShowStatistics(false);
    }
    QImage Grab() { return plot.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    int Y(qint64 nValue) const
    {
        const QRect rc = plot.PlotRect();
        return int(CPlotScale::ValueToY(nValue, plot.MaxY(), plot.MinY(), rc.top(), rc.bottom()));
    }

    QWidget page;
    C2dPlot plot;
};

bool AnyGreen(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == kGreen)
                return true;
    return false;
}

} // namespace

class CPlotTest : public QObject
{
    Q_OBJECT

private slots:
    void realTimeBufferShiftsByHalf();
    void historyWindowFollowsTheStart();
    void historyValueUnderTheCursor();
    void gridLabelsAndGuards();
    void valueToYNeverOverflows();
    void timeLabels();
    void summaryMatchesAPlainScan();

    void freshPlotDrawsNoCurve();
    void valueDrawnAtItsHeightInTheNewestColumn();
    void loneSpikeShowsAtWholeFileZoom();
    void zoomDrawsTheEnvelopeOfEachColumn();
    void degenerateRangesAndNarrowPlotsPaint();
    void rangeChangeRedrawsTheGrid();
    void mouseReachesThePage();
    void everyValueReachesTheStatistics();
    void workerFeedsWhileTheUiPaintsAndResizes();
};

void CPlotTest::realTimeBufferShiftsByHalf()
{
    CPlotCurve curve(0, kGreen, 1);
    QVERIFY(PointValues(curve).isEmpty());
    for (int i = 0; i < 2440; ++i)
        curve.AddValue(i, 1000 + i);
    QCOMPARE(curve.m_nCount, 1220);
    QList<int> arr = PointValues(curve);
    QCOMPARE(arr.size(), 1220);
    QCOMPARE(arr.first(), 1220);
    QCOMPARE(arr.last(), 2439);
    curve.AddValue(2440, 3440);
    QCOMPARE(curve.m_nCount, 1221);
    QCOMPARE(curve.m_anValues[1220], 2440);
    QCOMPARE(curve.m_pTimes[1220], qint64(3440));
    const QPoint* pPoints = nullptr;
    const qint64* pTimes = nullptr;
    int nColumns = 0;
    QCOMPARE(curve.GetPoints(pPoints, pTimes, nColumns), 1220);
    QCOMPARE(nColumns, 1220);
    QCOMPARE(pPoints[0], QPoint(1, 1221));
    QCOMPARE(pPoints[1219], QPoint(1220, 2440));
    QCOMPARE(pTimes[0], qint64(2221));
    QCOMPARE(pTimes[1219], qint64(3440));
}

void CPlotTest::historyWindowFollowsTheStart()
{
    PlotOnPage p;
    C2dPlot& plot = p.plot;
    QCOMPARE(plot.SetMode(CPlotCurve::History), 1);
    // No records: the start stays at 0, never -1.
    QCOMPARE(plot.SetHistoryStart(50), 1);
    const auto arrRecords = Records(5000, [](qint64 i) { return qint32(i * 3); });
    plot.SetHistoryData(0, arrRecords.data(), qint64(arrRecords.size()));
    QCOMPARE(plot.HistoryRecordCount(0), 5000);
    CPlotCurve probe(0, kGreen, 1);
    probe.m_nMode = CPlotCurve::History;
    probe.SetHistoryData(std::make_shared<const CHistoryData>(arrRecords));
    QList<int> arr = PointValues(probe);
    QCOMPARE(arr.size(), 1220);
    QCOMPARE(arr.first(), 0);
    QCOMPARE(arr.last(), 1219 * 3);
    probe.m_nStart = 4999;
    QCOMPARE(PointValues(probe), QList<int>({4999 * 3}));
    probe.m_nStart = 3000;
    QCOMPARE(PointValues(probe).size(), 1220);
    probe.m_nStart = 4000;
    QCOMPARE(PointValues(probe).size(), 1000);
    probe.SetHistoryData(std::make_shared<const CHistoryData>());
    QVERIFY(PointValues(probe).isEmpty());

    // The plot clamps: past the end to the last record, below 0 to 0.
    plot.SetHistoryStart(10000);
    qint32 nValue = 0;
    QVERIFY(plot.GetHistoryValue(0, nValue, 4999 + 40));
    QCOMPARE(nValue, 4999 * 3);
    // An empty copy, a drag far right, then a real file: no read before record 0.
    plot.SetHistoryData(0, nullptr, 0);
    QCOMPARE(plot.SetHistoryStart(-7), 1);
    QCOMPARE(plot.SetHistoryStart(300), 1);
    plot.SetHistoryData(0, arrRecords.data(), qint64(arrRecords.size()));
    QVERIFY(!p.Grab().isNull());
    // A curve that was never added: nothing changes, nothing is thrown.
    plot.SetHistoryData(1, nullptr, 0);
    plot.AddValue(-1, 1.0f);
    QCOMPARE(plot.CurveCount(), 1);
    QCOMPARE(plot.HistoryRecordCount(0), qint64(arrRecords.size()));
    QCOMPARE(plot.HistoryRecordCount(1), qint64(0));
    QCOMPARE(plot.VisibleCount(-1), 0);
    QVERIFY(!plot.GetHistoryValue(1, nValue, 41));
}

void CPlotTest::historyValueUnderTheCursor()
{
    PlotOnPage p;
    p.plot.SetMode(CPlotCurve::History);
    const auto arrRecords = Records(100, [](qint64 i) { return qint32(1000 + i); });
    p.plot.SetHistoryData(0, arrRecords.data(), 100);
    qint32 nValue = -1;
    QVERIFY(!p.plot.GetHistoryValue(0, nValue, 39));
    QCOMPARE(nValue, -1);
    QVERIFY(p.plot.GetHistoryValue(0, nValue, 40));
    QCOMPARE(nValue, 1000);
    QVERIFY(p.plot.GetHistoryValue(0, nValue, 40 + 99));
    QCOMPARE(nValue, 1099);
    nValue = -1;
    QVERIFY(!p.plot.GetHistoryValue(0, nValue, 40 + 100));
    QCOMPARE(nValue, -1);
}

void CPlotTest::gridLabelsAndGuards()
{
    // Plot from y 10 to y 340.
    auto arr = CPlotScale::GridLines(100, -100, 20, 10, 340);
    QCOMPARE(arr.size(), size_t(21));
    QCOMPARE(arr.front().m_nValue, -100);
    QCOMPARE(arr.front().m_nY, 340);
    QCOMPARE(arr[1].m_nValue, -90);
    QCOMPARE(arr.back().m_nValue, 100);
    QCOMPARE(arr.back().m_nY, 10);

    arr = CPlotScale::GridLines(95, 0, 10, 10, 340);
    QCOMPARE(CPlotScale::Step(95, 0, 10), 9);
    QCOMPARE(arr.size(), size_t(11));
    QCOMPARE(arr.back().m_nValue, 90);
    QVERIFY(arr.back().m_nY > 10); // below the top
    QCOMPARE(arr.back().m_nY, int(340 + qint64(10 - 340) * 90 / 95));

    // Equal maximum and minimum: a range of 1, nothing divides by zero.
    arr = CPlotScale::GridLines(7, 7, 1, 10, 340);
    QCOMPARE(arr.size(), size_t(2));
    QCOMPARE(arr.back().m_nValue, 8);
    QCOMPARE(arr.back().m_nY, 10);
    QCOMPARE(CPlotScale::ValueToY(7, 7, 7, 10, 340), 340);
    // Divisions from a hand-edited setting: 0 draws as 1, a huge count as 100.
    QCOMPARE(CPlotScale::GridLines(100, -100, 0, 10, 340).size(), size_t(2));
    QCOMPARE(CPlotScale::GridLines(100, -100, std::numeric_limits<int>::max(), 10, 340).size(),
             size_t(101));
    QCOMPARE(CPlotScale::GridLines(100, -100, -5, 10, 340).size(), size_t(2));
    // The widest range: no overflow in the step or the labels.
    arr = CPlotScale::GridLines(std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), 2,
                                10, 340);
    QCOMPARE(arr[1].m_nValue, -1);
    QCOMPARE(arr[1].m_nY, 176); // 340 - 164.99..., truncated toward zero

    QCOMPARE(CPlotScale::TimeLabelSpacing(1258, 10), 125);
    QCOMPARE(CPlotScale::TimeLabelSpacing(9, 10), 0);
    QCOMPARE(CPlotScale::TimeLabelSpacing(-3, 10), 0);
}

void CPlotTest::valueToYNeverOverflows()
{
    const qint64 arrValues[] = {std::numeric_limits<qint32>::min(),
                                std::numeric_limits<qint32>::max(), -1, 0, 5000000};
    const int arrHeights[] = {1, 45, 330, 4000, 100000, std::numeric_limits<int>::max() / 2};
    const std::pair<int, int> arrRanges[] = {
        {100, -100},
        {std::numeric_limits<int>::max(), std::numeric_limits<int>::min()},
        {1, 0},
        {-100, 100}};
    for (qint64 nValue : arrValues)
        for (int nHeight : arrHeights)
            for (auto [nMax, nMin] : arrRanges) {
                const int nTop = 10;
                const int nBottom = nTop + nHeight;
                const long double fExact = nBottom + (long double)(nTop - nBottom) *
                                                         (long double)(nValue - nMin) /
                                                         (long double)(qint64(nMax) - nMin);
                const qint64 nY = CPlotScale::ValueToY(nValue, nMax, nMin, nTop, nBottom);
                QVERIFY2(std::abs((long double)nY - fExact) < 1.0L,
                         qPrintable(
                             QString("%1 %2 %3 %4").arg(nValue).arg(nHeight).arg(nMax).arg(nMin)));
            }
    QCOMPARE(CPlotScale::ClampForDrawing(5000000000LL), 1000000);
    QCOMPARE(CPlotScale::ClampForDrawing(-5000000000LL), -1000000);
}

void CPlotTest::timeLabels()
{
    // Central European time with its daylight saving rule.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    const auto utc = [](int m, int d, int h, int mi) {
        return QDateTime(QDate(2024, m, d), QTime(h, mi), Qt::UTC).toSecsSinceEpoch();
    };
    QCOMPARE(CPlotScale::TimeLabel(utc(3, 31, 0, 30), true), QString("1:30:0"));
    QCOMPARE(CPlotScale::TimeLabel(utc(3, 31, 1, 30), true), QString("3:30:0"));
    // The hour repeated in autumn labels the same twice.
    QCOMPARE(CPlotScale::TimeLabel(utc(10, 27, 0, 30), true), QString("2:30:0"));
    QCOMPARE(CPlotScale::TimeLabel(utc(10, 27, 1, 30), true), QString("2:30:0"));
    QCOMPARE(CPlotScale::DateLabel(utc(1, 5, 23, 0), true), QString("2024-1-6"));
    QCOMPARE(CPlotScale::TimeLabel(0, false), QString("-1:-1:-1"));
    QCOMPARE(CPlotScale::DateLabel(0, false), QString("0-0-0"));
    qint64 nSeconds = 0;
    QVERIFY(WeightRecord::UnixSecondsFromFileTime(0, nSeconds));
    QCOMPARE(CPlotScale::DateLabel(nSeconds, true), QString("1601-1-1"));

    // A record whose time has its top bit set labels as no time.
    std::vector<WeightRecord> arr(1);
    arr[0].SetFileTime(0x8000000000000000ULL);
    CPlotCurve curve(0, kGreen, 1);
    curve.m_nMode = CPlotCurve::History;
    curve.SetHistoryData(std::make_shared<const CHistoryData>(arr));
    const QPoint* pPoints = nullptr;
    const qint64* pTimes = nullptr;
    int nColumns = 0;
    QCOMPARE(curve.GetPoints(pPoints, pTimes, nColumns), 1);
    QCOMPARE(pTimes[0], CPlotCurve::kNoTime);
    qunsetenv("TZ");
    tzset();
}

void CPlotTest::summaryMatchesAPlainScan()
{
    QRandomGenerator random(7);
    const auto arrRecords =
        Records(5000, [&random](qint64) { return qint32(random.bounded(-100000, 100000)); });
    const CHistoryData data(arrRecords);
    for (int n = 0; n < 2000; ++n) {
        const qint64 nFirst = random.bounded(5000);
        const qint64 nEnd = nFirst + 1 + random.bounded(int(5000 - nFirst));
        qint32 nMin = 0, nMax = 0;
        data.MinMax(nFirst, nEnd, nMin, nMax);
        qint32 nRefMin = arrRecords[size_t(nFirst)].m_nValue, nRefMax = nRefMin;
        for (qint64 i = nFirst; i < nEnd; ++i) {
            nRefMin = std::min(nRefMin, arrRecords[size_t(i)].m_nValue);
            nRefMax = std::max(nRefMax, arrRecords[size_t(i)].m_nValue);
        }
        QCOMPARE(nMin, nRefMin);
        QCOMPARE(nMax, nRefMax);
    }
}

void CPlotTest::freshPlotDrawsNoCurve()
{
    PlotOnPage p;
    const QImage image = p.Grab();
    QCOMPARE(image.size(), QSize(1300, 400));
    QVERIFY(!AnyGreen(image));
    QCOMPARE(image.pixel(20, 380), C2dPlot::kBackColor);
    QCOMPARE(image.pixel(700, 100 + 3), C2dPlot::kPlotColor); // between grid lines
    QCOMPARE(image.pixel(p.plot.PlotRect().left() + 1, p.Y(0)), qRgb(0, 0, 0));
}

void CPlotTest::valueDrawnAtItsHeightInTheNewestColumn()
{
    PlotOnPage p;
    for (int i = 0; i < 300; ++i)
        p.plot.AddValue(0, i < 200 ? -50.0f : 37.9f); // kept as 37
    const QImage image = p.Grab();
    const int nLeft = p.plot.PlotRect().left();
    for (int nX = nLeft + 220; nX <= nLeft + 300; nX += 10)
        QCOMPARE(image.pixel(nX, p.Y(37)), kGreen);
    QCOMPARE(image.pixel(nLeft + 100, p.Y(-50)), kGreen);
    QVERIFY(image.pixel(nLeft + 100, p.Y(37)) != kGreen);
    QVERIFY(image.pixel(nLeft + 302, p.Y(37)) != kGreen);
}

void CPlotTest::loneSpikeShowsAtWholeFileZoom()
{
    PlotOnPage p;
    p.plot.SetMode(CPlotCurve::History);
    p.plot.SetRange(1000, -1000, 20);
    const qint64 nCount = 1000000;
    const qint64 nSpike = 777777;
    p.plot.SetHistoryData(0, std::make_shared<const CHistoryData>(
                                 Records(nCount, [](qint64 i) { return i == nSpike ? 900 : 0; })));
    const int nZoom = 1024; // the first power of two that shows the whole file
    p.plot.SetHistoryZoom(nZoom);
    const QImage image = p.Grab();
    const int nX = p.plot.PlotRect().left() + 1 + int(nSpike / nZoom);
    QCOMPARE(image.pixel(nX, p.Y(900)), kGreen);
    QCOMPARE(image.pixel(nX, p.Y(450)), kGreen);
    QVERIFY(image.pixel(nX - 2, p.Y(450)) != kGreen);
    // Nothing drawn past the file's last column.
    QVERIFY(image.pixel(p.plot.PlotRect().left() + 1 + int(nCount / nZoom) + 2, p.Y(0)) != kGreen);
}

void CPlotTest::zoomDrawsTheEnvelopeOfEachColumn()
{
    PlotOnPage p;
    p.plot.SetMode(CPlotCurve::History);
    p.plot.SetRange(2000, -2000, 20);
    p.plot.SetHistoryData(0, std::make_shared<const CHistoryData>(
                                 Records(4000, [](qint64 i) { return i % 2 ? 1000 : -1000; })));
    p.plot.SetHistoryZoom(2);
    const QImage image = p.Grab();
    const int nLeft = p.plot.PlotRect().left();
    for (int j = 0; j < 1220; ++j) {
        const int nX = nLeft + 1 + j;
        for (int nValue : {-1000, -500, 0, 500, 1000})
            QVERIFY2(image.pixel(nX, p.Y(nValue)) == kGreen, qPrintable(QString::number(j)));
    }
    // At zoom 1 the same file is one record per pixel.
    p.plot.SetHistoryZoom(1);
    p.plot.SetHistoryStart(0);
    qint32 nValue = 0;
    QVERIFY(p.plot.GetHistoryValue(0, nValue, 41));
    QCOMPARE(nValue, 1000);
}

void CPlotTest::degenerateRangesAndNarrowPlotsPaint()
{
    PlotOnPage p(QSize(45, 45));
    p.plot.SetRange(5, 5, 0);
    for (int i = 0; i < 50; ++i)
        p.plot.AddValue(0, 5.0f);
    QImage image = p.Grab();
    QCOMPARE(image.size(), QSize(45, 45));
    p.plot.SetRange(std::numeric_limits<int>::max(), std::numeric_limits<int>::min(),
                    std::numeric_limits<int>::max());
    p.plot.AddValue(0, 3e9f);
    p.plot.AddValue(0, -3e9f);
    image = p.Grab();
    QCOMPARE(image.size(), QSize(45, 45));
    p.page.show();
    p.page.resize(3, 2);
    QCOMPARE(p.plot.size(), QSize(3, 2));
    QVERIFY(!p.Grab().isNull());
}

void CPlotTest::rangeChangeRedrawsTheGrid()
{
    PlotOnPage p;
    const int nYBefore = p.Y(50);
    p.Grab();
    p.plot.SetRange(200, 0, 4);
    p.plot.AddValue(0, 50.0f);
    p.plot.AddValue(0, 50.0f);
    const QImage image = p.Grab();
    const int nY = p.Y(50);
    QVERIFY(nY != nYBefore);
    QCOMPARE(image.pixel(p.plot.PlotRect().left() + 2, nY), kGreen);
    // The line for 50 is one of the new four divisions; the old ones are gone.
    QCOMPARE(image.pixel(p.plot.PlotRect().left() + 600, nY + 1), C2dPlot::kPlotColor);
    QCOMPARE(image.pixel(p.plot.PlotRect().left() + 600, p.Y(100)), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(p.plot.PlotRect().left() + 600, p.Y(110)), C2dPlot::kPlotColor);
}

void CPlotTest::mouseReachesThePage()
{
    class CPage : public QWidget
    {
    public:
        QList<QPair<int, QPoint>> m_arrEvents;

    protected:
        void mouseMoveEvent(QMouseEvent* event) override
        {
            m_arrEvents << qMakePair(int(event->type()), event->position().toPoint());
        }
        void mousePressEvent(QMouseEvent* event) override
        {
            m_arrEvents << qMakePair(int(event->button()), event->position().toPoint());
        }
        void mouseReleaseEvent(QMouseEvent* event) override
        {
            m_arrEvents << qMakePair(-int(event->button()), event->position().toPoint());
        }
    };
    CPage page;
    page.resize(400, 300);
    C2dPlot plot;
    plot.Create(page);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 60), plot.mapToGlobal(QPointF(50, 60)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&plot, &move);
    QTest::mousePress(&plot, Qt::RightButton, Qt::NoModifier, QPoint(70, 80));
    QTest::mouseRelease(&plot, Qt::RightButton, Qt::NoModifier, QPoint(71, 81));
    QTest::mousePress(&plot, Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    QVERIFY(page.m_arrEvents.contains(qMakePair(int(QEvent::MouseMove), QPoint(50, 60))));
    QVERIFY(page.m_arrEvents.contains(qMakePair(int(Qt::RightButton), QPoint(70, 80))));
    QVERIFY(page.m_arrEvents.contains(qMakePair(-int(Qt::RightButton), QPoint(71, 81))));
    // The plot follows the page's size.
    page.resize(500, 350);
    QCOMPARE(plot.size(), QSize(500, 350));
    // Shown and hidden itself, it takes its statistics window along.
    plot.hide();
    QVERIFY(!plot.Statistics()->isVisible());
    plot.show();
    QVERIFY(plot.Statistics()->isVisible());
    QVERIFY(!plot.Statistics()->isWindow());
    QCOMPARE(plot.Statistics()->parentWidget(), &page);
}

void CPlotTest::everyValueReachesTheStatistics()
{
    PlotOnPage p;
    p.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.page));
    std::thread worker([&p] {
        for (int i = 1; i <= 5000; ++i)
            p.plot.AddValue(0, float(i));
        p.plot.AddValue(0, -5.5f);
        p.plot.Refresh();
    });
    worker.join();
    const auto texts = [&p] {
        QStringList arr;
        for (const char* psz : {"textCurrent", "textMax", "textMin", "textPeak"})
            arr << p.plot.Statistics()->findChild<QLabel*>(psz)->text();
        return arr;
    };
    // The extremes cover every value, whatever the texts showed meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(p.plot.Statistics()->Current() == -5.5f, 10000);
    p.plot.Statistics()->OnTimer();
    p.plot.AddValue(0, 2.0f);
    QTRY_COMPARE_WITH_TIMEOUT(texts(), QStringList({"2.0", "5000.0", "-5.5", "5005.5"}), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(p.plot.PaintCount() > 0, 10000);
}

void CPlotTest::workerFeedsWhileTheUiPaintsAndResizes()
{
    PlotOnPage p;
    p.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.page));
    std::atomic<bool> bStop{false};
    std::atomic<int> nAdded{0};
    std::thread worker([&] {
        for (int i = 0; !bStop; ++i) {
            p.plot.AddValue(0, float(i % 200 - 100));
            p.plot.Refresh();
            ++nAdded;
        }
    });
    for (int n = 0; n < 40; ++n) {
        p.page.resize(600 + (n % 7) * 90, 300 + (n % 5) * 40);
        p.plot.grab();
        QTest::qWait(5);
    }
    bStop = true;
    worker.join();
    QVERIFY(nAdded > 0);
    const QImage image = p.Grab();
    QVERIFY(AnyGreen(image));
}

QTEST_MAIN(CPlotTest)
#include "PlotTest.moc"
