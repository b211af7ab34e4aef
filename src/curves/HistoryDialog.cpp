#include "curves/HistoryDialog.h"

CHistoryDialog::CHistoryDialog(CTolvexView* pView, QWidget* parent) : CTabPage(pView, parent) {}

void CHistoryDialog::SetRange(int nMaxY, int nMinY, int nDivY)
{
    m_nMaxY = nMaxY;
    m_nMinY = nMinY;
    m_nDivY = nDivY;
}
