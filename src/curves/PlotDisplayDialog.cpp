#include "curves/PlotDisplayDialog.h"

CPlotDisplayDialog::CPlotDisplayDialog(CPageContext& context, QWidget* parent)
    : CCurvePage(context, parent)
{
}
