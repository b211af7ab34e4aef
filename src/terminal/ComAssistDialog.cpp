#include "terminal/ComAssistDialog.h"

CComAssistDialog::CComAssistDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent)
{
}
