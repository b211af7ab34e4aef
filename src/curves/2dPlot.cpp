#include "curves/2dPlot.h"

#include "curves/FlyDialog.h"
#include "curves/PlotScale.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QWheelEvent>

#include <cmath>

namespace {

// The value a curve keeps: truncated toward zero, saturated at the 32-bit bounds.
qint32 TruncatedValue(float fValue)
{
    if (std::isnan(fValue))
        return 0;
    if (fValue >= 2147483647.0f)
        return std::numeric_limits<qint32>::max();
    if (fValue <= -2147483648.0f)
        return std::numeric_limits<qint32>::min();
    return qint32(fValue);
}

Qt::PenStyle PenStyle(int nStyle)
{
    switch (nStyle) {
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    case 5:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

} // namespace

C2dPlot::C2dPlot()
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_refreshTimer.setInterval(kRepaintMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &C2dPlot::OnRefreshTick);
}

C2dPlot::~C2dPlot()
{
    if (m_pParent)
        m_pParent->removeEventFilter(this);
}

void C2dPlot::Create(QWidget& parent)
{
    m_pParent = &parent;
    setParent(&parent);
    m_rcClient = parent.rect();
    setGeometry(m_rcClient);
    parent.installEventFilter(this);
    // The page hears every move the plot hands on, pressed button or not.
    parent.setMouseTracking(true);
    m_pStatistics = std::make_unique<CFlyDialog>(&parent);
    // Inside the plot area, right of the value labels.
    m_pStatistics->Follow(this, QPoint(m_nMarginLeft + 2, m_nMarginTop + 2));
    show();
}

void C2dPlot::AddCurve(int nPenStyle, QRgb crColor, int nWidth)
{
    const std::lock_guard lock(m_mutex);
    m_arrCurves.push_back(std::make_unique<CPlotCurve>(nPenStyle, crColor, nWidth));
}

int C2dPlot::CurveCount() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_arrCurves.size());
}

int C2dPlot::VisibleCount(int nCurve) const
{
    const std::lock_guard lock(m_mutex);
    const CPlotCurve* pCurve = FindCurve(nCurve);
    return pCurve ? pCurve->m_nVisible : 0;
}

CPlotCurve* C2dPlot::FindCurve(int nCurve) const
{
    if (nCurve < 0 || nCurve >= int(m_arrCurves.size()))
        return nullptr;
    return m_arrCurves[size_t(nCurve)].get();
}

void C2dPlot::AddValue(int nCurve, float fValue)
{
    const qint64 nNow = QDateTime::currentSecsSinceEpoch();
    const std::lock_guard lock(m_mutex);
    CPlotCurve* pCurve = FindCurve(nCurve);
    if (!pCurve)
        return;
    pCurve->AddValue(TruncatedValue(fValue), nNow);
    m_arrPendingStatistics.emplace_back(nCurve, fValue);
}

void C2dPlot::Refresh()
{
    m_bDirty = true;
}

void C2dPlot::SetRange(int nMaxY, int nMinY, int nDivY)
{
    m_nMaxY = nMaxY;
    m_nMinY = nMinY;
    m_nDivY = nDivY;
    m_bGridValid = false;
}

int C2dPlot::SetMode(int nMode)
{
    const std::lock_guard lock(m_mutex);
    for (auto& pCurve : m_arrCurves)
        pCurve->m_nMode = nMode;
    return 1;
}

void C2dPlot::SetHistoryData(int nCurve, const WeightRecord* pRecords, qint64 nCount)
{
    CRecordBuffer arrCopy(std::max<qint64>(nCount, 0));
    std::copy(pRecords, pRecords + arrCopy.Count(), arrCopy.Data());
    SetHistoryData(nCurve, std::make_shared<const CHistoryData>(std::move(arrCopy)));
}

void C2dPlot::SetHistoryData(int nCurve, std::shared_ptr<const CHistoryData> pRecords)
{
    const std::lock_guard lock(m_mutex);
    if (CPlotCurve* pCurve = FindCurve(nCurve))
        pCurve->SetHistoryData(std::move(pRecords));
}

int C2dPlot::SetHistoryStart(qint64 nStart)
{
    const std::lock_guard lock(m_mutex);
    for (auto& pCurve : m_arrCurves) {
        // Never below 0, also with no records.
        const qint64 nLast = std::max<qint64>(pCurve->RecordCount() - 1, 0);
        pCurve->m_nStart = nStart < 0 ? 0 : std::min(nStart, nLast);
    }
    return int(m_arrCurves.size());
}

void C2dPlot::SetHistoryZoom(int nZoom)
{
    const std::lock_guard lock(m_mutex);
    for (auto& pCurve : m_arrCurves)
        pCurve->m_nZoom = std::max(nZoom, 1);
}

bool C2dPlot::GetHistoryValue(int nCurve, qint32& nValue, qint64 nX) const
{
    const std::lock_guard lock(m_mutex);
    const CPlotCurve* pCurve = FindCurve(nCurve);
    if (!pCurve || nX < m_nMarginLeft)
        return false;
    const qint64 nIndex = nX - m_nMarginLeft;
    if (nIndex >= pCurve->RecordCount())
        return false;
    nValue = pCurve->HistoryData()->Record(nIndex).m_nValue;
    return true;
}

qint64 C2dPlot::HistoryRecordCount(int nCurve) const
{
    const std::lock_guard lock(m_mutex);
    const CPlotCurve* pCurve = FindCurve(nCurve);
    return pCurve ? pCurve->RecordCount() : 0;
}

void C2dPlot::ShowStatistics(bool bShow)
{
    if (!m_pStatistics)
        return;
    if (bShow)
        m_pStatistics->show();
    else
        m_pStatistics->hide();
}

QRect C2dPlot::PlotRect() const
{
    QRect rc;
    rc.setCoords(m_nMarginLeft, m_nMarginTop, width() - m_nMarginRight, height() - m_nMarginBottom);
    return rc;
}

bool C2dPlot::event(QEvent* event)
{
    const bool bResult = QWidget::event(event);
    // Shown or hidden itself (not with its page): the statistics window follows.
    if (event->type() == QEvent::ShowToParent)
        ShowStatistics(true);
    else if (event->type() == QEvent::HideToParent)
        ShowStatistics(false);
    return bResult;
}

bool C2dPlot::eventFilter(QObject* pWatched, QEvent* event)
{
    if (pWatched == m_pParent && event->type() == QEvent::Resize)
        setGeometry(QRect(pos(), m_pParent->size()));
    return QWidget::eventFilter(pWatched, event);
}

void C2dPlot::resizeEvent(QResizeEvent* event)
{
    m_bGridValid = false;
    QWidget::resizeEvent(event);
}

void C2dPlot::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_refreshTimer.start();
}

void C2dPlot::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_refreshTimer.stop();
    FlushStatistics();
}

void C2dPlot::OnRefreshTick()
{
    FlushStatistics();
    if (m_bDirty.exchange(false))
        update();
}

void C2dPlot::FlushStatistics()
{
    std::vector<std::pair<int, float>> arrValues;
    {
        const std::lock_guard lock(m_mutex);
        arrValues.swap(m_arrPendingStatistics);
    }
    if (!m_pStatistics)
        return;
    for (const auto& [nCurve, fValue] : arrValues)
        m_pStatistics->UpdateStatistics(nCurve, fValue);
}

void C2dPlot::paintEvent(QPaintEvent*)
{
    Layout();
    // Backgrounds and grid come from the cache, the curves are drawn over them,
    // and the window system shows the finished frame in one go.
    QPainter dc(this);
    PrepareBuffer(dc);
    DrawCurves(dc);
    ++m_nPaintCount;
}

void C2dPlot::Layout()
{
    m_rcClient = rect();
    m_rcPlot = PlotRect();
}

void C2dPlot::PrepareBuffer(QPainter& dc)
{
    if (!m_bGridValid || m_imgGrid.size() != m_rcClient.size()) {
        m_imgGrid = QImage(m_rcClient.size(), QImage::Format_RGB32);
        {
            QPainter painter(&m_imgGrid);
            painter.fillRect(m_rcClient, QColor::fromRgb(m_crBack));
            painter.fillRect(m_rcPlot, QColor::fromRgb(m_crPlot));
        }
        DrawGrid();
        m_bGridValid = true;
    }
    dc.drawImage(0, 0, m_imgGrid);
}

void C2dPlot::DrawGrid()
{
    QPainter painter(&m_imgGrid);
    painter.setFont(font());
    painter.setPen(QColor(255, 0, 0));
    const int nTextHeight = painter.fontMetrics().height();
    const auto arrLines =
        CPlotScale::GridLines(m_nMaxY, m_nMinY, m_nDivY, m_rcPlot.top(), m_rcPlot.bottom());
    for (const CPlotScale::GridLine& line : arrLines) {
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(QRect(5, line.m_nY - 10, m_nMarginLeft + 60, nTextHeight),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         QString::number(line.m_nValue));
        painter.setPen(Qt::black);
        painter.drawLine(m_rcPlot.left(), line.m_nY, m_rcPlot.right(), line.m_nY);
    }
    const int nStepX = (m_rcPlot.right() - m_rcPlot.left()) / m_nDivX;
    painter.setPen(Qt::black);
    for (int i = 0; i <= m_nDivX; ++i) {
        const int nX = m_rcPlot.left() + i * nStepX;
        painter.drawLine(nX, m_rcPlot.top(), nX, m_rcPlot.bottom());
    }
}

void C2dPlot::DrawCurves(QPainter& painter)
{
    // Copy what is drawn under the lock; scale and draw without it.
    std::vector<CurveFrame> arrFrames;
    {
        const std::lock_guard lock(m_mutex);
        arrFrames.resize(m_arrCurves.size());
        for (size_t c = 0; c < m_arrCurves.size(); ++c) {
            CPlotCurve& curve = *m_arrCurves[c];
            CurveFrame& frame = arrFrames[c];
            const QPoint* pPoints = nullptr;
            const qint64* pTimes = nullptr;
            const int nPoints = curve.GetPoints(pPoints, pTimes, frame.m_nColumns);
            frame.m_arrPoints.assign(pPoints, pPoints + nPoints);
            frame.m_arrTimes.assign(pTimes, pTimes + frame.m_nColumns);
            frame.m_crColor = curve.m_crColor;
            frame.m_nPenStyle = curve.m_nPenStyle;
            frame.m_nWidth = curve.m_nWidth;
            frame.m_bHistory = curve.m_nMode == CPlotCurve::History;
        }
    }
    painter.setFont(font());
    const int nTextHeight = painter.fontMetrics().height();
    const int nLabelStep =
        CPlotScale::TimeLabelSpacing(m_rcPlot.right() - m_rcPlot.left(), m_nDivX);
    for (size_t c = 0; c < arrFrames.size(); ++c) {
        CurveFrame& frame = arrFrames[c];
        for (QPoint& point : frame.m_arrPoints) {
            point.setX(m_rcPlot.left() + point.x());
            point.setY(CPlotScale::ClampForDrawing(CPlotScale::ValueToY(
                point.y(), m_nMaxY, m_nMinY, m_rcPlot.top(), m_rcPlot.bottom())));
        }
        if (c == 0 && nLabelStep > 0) {
            painter.setPen(QColor(0, 0, 255));
            for (int k = 0; k < frame.m_nColumns; k += nLabelStep) {
                const int nX = m_rcPlot.left() + k + 1;
                const qint64 nTime = frame.m_arrTimes[size_t(k)];
                const bool bValid = nTime != CPlotCurve::kNoTime;
                painter.drawText(QRect(nX - 20, m_rcPlot.bottom() + 2, 80, nTextHeight),
                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                                 CPlotScale::TimeLabel(nTime, bValid));
                if (frame.m_bHistory)
                    painter.drawText(QRect(nX - 25, m_rcPlot.bottom() + 14, 90, nTextHeight),
                                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                                     CPlotScale::DateLabel(nTime, bValid));
            }
        }
        if (frame.m_arrPoints.empty())
            continue;
        painter.setPen(
            QPen(QColor::fromRgb(frame.m_crColor), frame.m_nWidth, PenStyle(frame.m_nPenStyle)));
        painter.drawPolyline(frame.m_arrPoints.data(), int(frame.m_arrPoints.size()));
    }
}

void C2dPlot::mouseMoveEvent(QMouseEvent* event)
{
    Forward(event);
}

void C2dPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        Forward(event);
    else
        QWidget::mousePressEvent(event);
}

void C2dPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        Forward(event);
    else
        QWidget::mouseReleaseEvent(event);
}

void C2dPlot::wheelEvent(QWheelEvent* event)
{
    if (!m_pParent)
        return;
    QWheelEvent copy(mapToParent(event->position()), event->globalPosition(), event->pixelDelta(),
                     event->angleDelta(), event->buttons(), event->modifiers(), event->phase(),
                     event->inverted());
    QCoreApplication::sendEvent(m_pParent, &copy);
    event->setAccepted(copy.isAccepted());
}

void C2dPlot::Forward(QMouseEvent* event)
{
    if (!m_pParent)
        return;
    QMouseEvent copy(event->type(), mapToParent(event->position()), event->globalPosition(),
                     event->button(), event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(m_pParent, &copy);
    event->accept();
}
