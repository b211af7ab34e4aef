#include "app/TabSheet.h"

#include <QPalette>
#include <QResizeEvent>
#include <QTabBar>

CTabSheet::CTabSheet(QWidget* parent) : QWidget(parent), m_pTabBar(new QTabBar(this))
{
    m_pTabBar->setDrawBase(true);
    m_pTabBar->setExpanding(false);
    // A title too long for the row is cut with an ellipsis; no scroll buttons.
    m_pTabBar->setElideMode(Qt::ElideRight);
    m_pTabBar->setUsesScrollButtons(false);
    connect(m_pTabBar, &QTabBar::currentChanged, this, &CTabSheet::OnCurrentChanged);
}

bool CTabSheet::AddTabPage(const QString& strTitle, QWidget* pPage, int nTemplateId)
{
    if (m_nPageCount >= kMaxPages)
        return false;
    m_arrTitles[m_nPageCount] = strTitle;
    m_arrPages[m_nPageCount] = pPage;
    m_arrTemplates[m_nPageCount] = nTemplateId;
    ++m_nPageCount;
    return true;
}

void CTabSheet::CreatePages()
{
    if (m_bCreated)
        return;
    m_bCreated = true;
    const QSignalBlocker blocker(m_pTabBar);
    for (int i = 0; i < m_nPageCount; ++i) {
        m_arrPages[i]->setParent(this);
        m_pTabBar->addTab(m_arrTitles[i]);
    }
    m_nCurPage = 0;
    m_pTabBar->setCurrentIndex(0);
    PlacePages();
}

void CTabSheet::PlacePages()
{
    const QRect rcClient = rect();
    const QSize szBar = m_pTabBar->sizeHint();
    m_pTabBar->setGeometry(0, 0, rcClient.width(), szBar.height());
    const int nTop = szBar.height() + 1;
    for (int i = 0; i < m_nPageCount; ++i) {
        QWidget* pPage = m_arrPages[i];
        pPage->setGeometry(0, nTop, qMax(0, rcClient.width() - 2),
                           qMax(0, rcClient.height() - nTop - 2));
        pPage->raise();
        pPage->setVisible(i == m_nCurPage && m_bCreated);
    }
}

void CTabSheet::SetTabBrush(const QBrush& brBackground)
{
    m_brBackground = brBackground;
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setBrush(QPalette::Window, brBackground);
    setPalette(palette);
}

QWidget* CTabSheet::Page(int nIndex) const
{
    return nIndex >= 0 && nIndex < m_nPageCount ? m_arrPages[nIndex] : nullptr;
}

int CTabSheet::TemplateId(int nIndex) const
{
    return nIndex >= 0 && nIndex < m_nPageCount ? m_arrTemplates[nIndex] : 0;
}

void CTabSheet::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_bCreated)
        PlacePages();
}

void CTabSheet::OnCurrentChanged(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_nPageCount || nIndex == m_nCurPage)
        return;
    m_arrPages[m_nCurPage]->hide();
    emit PageHidden(m_nCurPage);
    m_nCurPage = nIndex;
    m_arrPages[m_nCurPage]->show();
    emit PageChanged(m_nCurPage);
}
