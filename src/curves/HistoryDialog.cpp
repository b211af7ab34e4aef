#include "curves/HistoryDialog.h"

#include "recording/RecordingReader.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

CHistoryDialog::CHistoryDialog(CPageContext& context, QWidget* parent) : CCurvePage(context, parent)
{
    setAcceptDrops(true);
    m_plot.Create(*this);
    m_plot.AddCurve(0, qRgb(0, 255, 0), 1);
    m_plot.SetMode(CPlotCurve::History);
    m_plot.ShowStatistics(false);
    OnRangeChanged();

    m_pHint = new QLabel(
        QStringLiteral("将数据文件(.Dat)拖放到此处, 或在本页用 文件 > 打开 (Ctrl+O) 选择"),
        &m_plot);
    m_pHint->setStyleSheet(QStringLiteral("QLabel { color: black; background: transparent; }"));
    m_pHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* pLayout = new QVBoxLayout(&m_plot);
    pLayout->addWidget(m_pHint, 0, Qt::AlignCenter);
}

void CHistoryDialog::OnRangeChanged()
{
    m_plot.SetRange(MaxY(), MinY(), DivY());
    m_plot.update();
}

bool CHistoryDialog::Load(const QString& strFileName)
{
    CRecordBuffer arrRecords;
    int nError = 0;
    if (!CRecordingReader::Read(strFileName, arrRecords, nError)) {
        Context().ShowMessage(QStringLiteral("读取文件出错!"));
        return false;
    }
    m_strFileName = strFileName;
    m_nRecordCount = arrRecords.Count();
    m_plot.SetHistoryData(0, std::make_shared<const CHistoryData>(std::move(arrRecords)));
    SetZoom(m_nZoom);
    m_plot.update();
    m_pHint->hide();
    // Until the mouse moves over the plot and the pane shows values instead.
    Context().SetStatusText(
        QStringLiteral("%1: %2条记录").arg(QFileInfo(strFileName).fileName()).arg(m_nRecordCount));
    return true;
}

void CHistoryDialog::LoadFiles(const QStringList& arrFiles)
{
    for (const QString& strFile : arrFiles)
        Load(strFile);
}

int CHistoryDialog::MaxZoom() const
{
    int nZoom = 1;
    while (nZoom < (1 << 30) && m_nRecordCount > qint64(nZoom) * CPlotCurve::kWindow)
        nZoom *= 2;
    return nZoom;
}

void CHistoryDialog::SetZoom(int nZoom)
{
    m_nZoom = std::clamp(nZoom, 1, MaxZoom());
    m_plot.SetHistoryZoom(m_nZoom);
    m_plot.update();
}

void CHistoryDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CHistoryDialog::dropEvent(QDropEvent* event)
{
    QStringList arrFiles;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            arrFiles << url.toLocalFile();
    event->acceptProposedAction();
    // Loaded once the drop has returned: a message box must not hold the source.
    QTimer::singleShot(0, this, [this, arrFiles] { LoadFiles(arrFiles); });
}

void CHistoryDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        m_bDragging = true;
        m_nLastX = int(event->position().x());
        m_nLastY = int(event->position().y());
        m_cursorPrevious = m_plot.cursor();
        m_plot.setCursor(Qt::SizeAllCursor);
    }
    CCurvePage::mousePressEvent(event);
}

void CHistoryDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        m_bDragging = false;
        m_plot.setCursor(m_cursorPrevious);
    }
    CCurvePage::mouseReleaseEvent(event);
}

void CHistoryDialog::mouseMoveEvent(QMouseEvent* event)
{
    const int nX = int(event->position().x());
    // The right button alone: no other button, no modifier key.
    if (m_bDragging && event->buttons() == Qt::RightButton &&
        event->modifiers() == Qt::NoModifier) {
        m_plot.setCursor(Qt::SizeAllCursor);
        m_nStart += qint64(m_nLastX - nX) * m_nZoom;
        m_nLastX = nX;
        m_nLastY = int(event->position().y());
        if (m_nStart > m_nRecordCount)
            m_nStart = m_nRecordCount;
        else if (m_nStart < 0)
            m_nStart = 0;
        m_plot.SetHistoryStart(m_nStart);
        m_plot.update();
    }
    ShowValueAt(nX);
    CCurvePage::mouseMoveEvent(event);
}

void CHistoryDialog::ShowValueAt(int nX)
{
    // One record per column: the record drawn one pixel right of the cursor.
    const qint64 nLeft = m_plot.PlotRect().left();
    const qint64 nIndex = m_nStart + (nX - nLeft) * m_nZoom;
    qint32 nValue = 0;
    if (nIndex >= 0 && m_plot.GetHistoryValue(0, nValue, nIndex + nLeft))
        Context().SetStatusText(QStringLiteral("         当前值:%1").arg(nValue));
    else
        Context().SetStatusText(QString());
}

void CHistoryDialog::wheelEvent(QWheelEvent* event)
{
    const int nDelta = event->angleDelta().y();
    if (nDelta < 0)
        SetZoom(m_nZoom * 2);
    else if (nDelta > 0)
        SetZoom(m_nZoom / 2);
    event->accept();
}
