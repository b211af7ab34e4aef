#include "curves/PlotDisplayDialog.h"

CPlotDisplayDialog::CPlotDisplayDialog(CTolvexView* pView, QWidget* parent)
    : CCurvePage(pView, parent)
{
}
