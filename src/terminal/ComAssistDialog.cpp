#include "terminal/ComAssistDialog.h"

CComAssistDialog::CComAssistDialog(CTolvexView* pView, QWidget* parent) : CTabPage(pView, parent) {}
