#include "curves/PlotDisplayDialog.h"

CPlotDisplayDialog::CPlotDisplayDialog(CTolvexView* pView, QWidget* parent)
    : CTabPage(pView, parent)
{
}

void CPlotDisplayDialog::SetRange(int nMaxY, int nMinY, int nDivY)
{
    m_nMaxY = nMaxY;
    m_nMinY = nMinY;
    m_nDivY = nDivY;
}
