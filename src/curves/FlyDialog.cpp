#include "curves/FlyDialog.h"

#include "link/PostedCall.h"
#include "ui_FlyDialog.h"

#include <QMouseEvent>
#include <QThread>

#include <cstdio>

namespace {

QString ValueText(float fValue)
{
    // The C library's rounding, as every other printf-style text of the tool.
    char szText[64];
    std::snprintf(szText, sizeof szText, "%.1f", static_cast<double>(fValue));
    return QString::fromLatin1(szText);
}

} // namespace

CFlyDialog::CFlyDialog(QWidget* pOwner) : QWidget(pOwner), m_pUi(std::make_unique<Ui::FlyDialog>())
{
    m_pUi->setupUi(this);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &CFlyDialog::OnTimer);
}

void CFlyDialog::Follow(QWidget* pAnchor, QPoint ptOrigin)
{
    if (m_pAnchor)
        m_pAnchor->removeEventFilter(this);
    m_pAnchor = pAnchor;
    if (m_pAnchor)
        m_pAnchor->installEventFilter(this);
    m_ptOrigin = ptOrigin;
    m_ptOffset = QPoint(0, 0);
    Reposition();
}

void CFlyDialog::Reposition()
{
    if (!m_pAnchor || !parentWidget())
        return;
    move(m_pAnchor->mapTo(parentWidget(), m_ptOrigin) + m_ptOffset);
    raise();
}

bool CFlyDialog::eventFilter(QObject* pWatched, QEvent* event)
{
    if (pWatched == m_pAnchor &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize) && isVisible())
        Reposition();
    return QWidget::eventFilter(pWatched, event);
}

void CFlyDialog::showEvent(QShowEvent* event)
{
    Reposition();
    m_timer.start();
    QWidget::showEvent(event);
}

void CFlyDialog::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

CFlyDialog::~CFlyDialog() = default;

void CFlyDialog::UpdateStatistics(int i, float x)
{
    QString strCurrent, strMax, strMin, strPeak;
    {
        const std::lock_guard lock(m_mutex);
        m_fCurrent = x;
        if (i < 0 || i >= kCurves)
            return;
        if (m_bFirst[i]) {
            m_fMin[i] = x;
            m_fMax[i] = x;
            m_bFirst[i] = false;
        }
        if (x > m_fMax[i])
            m_fMax[i] = x;
        if (x < m_fMin[i])
            m_fMin[i] = x;
        if (!m_bRefresh.exchange(false))
            return;
        strCurrent = ValueText(x);
        strMax = ValueText(m_fMax[i]);
        strMin = ValueText(m_fMin[i]);
        strPeak = ValueText(m_fMax[i] - m_fMin[i]);
    }
    if (QThread::currentThread() == thread()) {
        ShowTexts(strCurrent, strMax, strMin, strPeak);
        return;
    }
    // A worker never touches the labels; the UI thread sets them.
    CPostedCall::Post(this, [this, strCurrent, strMax, strMin, strPeak] {
        ShowTexts(strCurrent, strMax, strMin, strPeak);
    });
}

float CFlyDialog::Current() const
{
    const std::lock_guard lock(m_mutex);
    return m_fCurrent;
}

void CFlyDialog::OnTimer()
{
    m_bRefresh = true;
}

void CFlyDialog::ShowTexts(const QString& strCurrent, const QString& strMax, const QString& strMin,
                           const QString& strPeak)
{
    m_pUi->textCurrent->setText(strCurrent);
    m_pUi->textMax->setText(strMax);
    m_pUi->textMin->setText(strMin);
    m_pUi->textPeak->setText(strPeak);
}

// The window has no caption: it is dragged by its whole body.
void CFlyDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_bDragging = true;
    m_ptPressGlobal = event->globalPosition().toPoint();
    m_ptStartPos = pos();
    event->accept();
}

void CFlyDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bDragging || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    QPoint ptPos = m_ptStartPos + event->globalPosition().toPoint() - m_ptPressGlobal;
    if (m_pAnchor && parentWidget()) {
        // Never over the value labels left of the origin.
        const QPoint ptOrigin = m_pAnchor->mapTo(parentWidget(), m_ptOrigin);
        ptPos.setX(qMax(ptPos.x(), ptOrigin.x()));
        m_ptOffset = ptPos - ptOrigin;
    }
    move(ptPos);
    event->accept();
}

void CFlyDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bDragging = false;
    QWidget::mouseReleaseEvent(event);
}
