#include "curves/HistoryDialog.h"

CHistoryDialog::CHistoryDialog(CPageContext& context, QWidget* parent) : CCurvePage(context, parent)
{
}
