#include "curves/HistoryDialog.h"

CHistoryDialog::CHistoryDialog(CTolvexView* pView, QWidget* parent) : CCurvePage(pView, parent) {}
