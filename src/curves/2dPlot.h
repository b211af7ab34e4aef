#pragma once

#include "curves/HistoryData.h"
#include "curves/PlotCurve.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class CFlyDialog;

// The plot of a curve page: value curves against sample time on a grey area
// with a grid, red value labels on the left and blue time labels below. It
// covers its page and follows the page's size, hands mouse moves and the
// right button on to the page, and owns the statistics window of its values.
//
// AddValue and Refresh may be called from a worker thread: the curves are
// guarded by a mutex that painting holds only to copy its points. Refresh
// marks the plot dirty; the UI thread repaints at most 25 times a second and
// passes every value on to the statistics window in order.
class C2dPlot : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRepaintMs = 40;
    static constexpr QRgb kBackColor = 0xFFC0C0C0;
    static constexpr QRgb kPlotColor = 0xFF808080;

    C2dPlot();
    ~C2dPlot() override;

    // Puts the plot over the parent's whole client area and makes the
    // statistics window, a small child of the parent above the plot.
    void Create(QWidget& parent);

    void AddCurve(int nPenStyle, QRgb crColor, int nWidth);
    int CurveCount() const;
    // Real-time samples a curve shows (at most 1220).
    int VisibleCount(int nCurve) const;
    // Any thread. The curve keeps the value truncated toward zero; the
    // statistics window gets it as it is. No repaint: call Refresh. A curve
    // index that was never added is ignored here and below.
    void AddValue(int nCurve, float fValue);
    // Any thread: asks for a repaint.
    void Refresh();
    // Stored as given; drawing guards empty ranges and odd divisions.
    void SetRange(int nMaxY, int nMinY, int nDivY);
    int MaxY() const { return m_nMaxY; }
    int MinY() const { return m_nMinY; }
    int DivY() const { return m_nDivY; }
    int SetMode(int nMode);

    // The curve's own copy of a data file's records, replacing the former one.
    void SetHistoryData(int nCurve, const WeightRecord* pRecords, qint64 nCount);
    void SetHistoryData(int nCurve, std::shared_ptr<const CHistoryData> pRecords);
    // Start of every curve: 0 when negative, else at most its record count - 1
    // (0 without records). Returns the number of curves.
    int SetHistoryStart(qint64 nStart);
    // Records per column (1 = one record per pixel) for every curve.
    void SetHistoryZoom(int nZoom);
    // x is a window x already offset by the start: record x - left margin.
    bool GetHistoryValue(int nCurve, qint32& nValue, qint64 nX) const;
    qint64 HistoryRecordCount(int nCurve) const;

    void ShowStatistics(bool bShow);
    CFlyDialog* Statistics() const { return m_pStatistics.get(); }

    // The plot rectangle of the current size.
    QRect PlotRect() const;
    // Paints done so far (for measurements).
    int PaintCount() const { return m_nPaintCount.load(); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* pWatched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct CurveFrame
    {
        std::vector<QPoint> m_arrPoints;
        std::vector<qint64> m_arrTimes;
        int m_nColumns = 0;
        QRgb m_crColor = 0;
        int m_nPenStyle = 0;
        int m_nWidth = 1;
        bool m_bHistory = false;
    };

    void Layout();
    // The grid into the cache when it is stale, then the cache onto dc.
    void PrepareBuffer(QPainter& dc);
    void DrawGrid();
    void DrawCurves(QPainter& painter);
    void OnRefreshTick();
    void FlushStatistics();
    void Forward(QMouseEvent* event);
    CPlotCurve* FindCurve(int nCurve) const;

    QWidget* m_pParent = nullptr;
    QRect m_rcClient;
    QImage m_imgGrid; // backgrounds and grid, kept until a resize or range change
    bool m_bGridValid = false;
    std::unique_ptr<CFlyDialog> m_pStatistics;

    mutable std::mutex m_mutex; // guards the curves and the pending statistics
    std::vector<std::unique_ptr<CPlotCurve>> m_arrCurves;
    std::vector<std::pair<int, float>> m_arrPendingStatistics;

    int m_nMinY = -100;
    int m_nMaxY = 100;
    int m_nDivY = 20;
    int m_nDivX = 10;
    int m_nMarginLeft = 40;
    int m_nMarginTop = 10;
    int m_nMarginRight = 2;
    int m_nMarginBottom = 60;
    QRgb m_crBack = kBackColor;
    QRgb m_crPlot = kPlotColor;
    QRect m_rcPlot;

    std::atomic<bool> m_bDirty{false};
    std::atomic<int> m_nPaintCount{0};
    QTimer m_refreshTimer;
};
