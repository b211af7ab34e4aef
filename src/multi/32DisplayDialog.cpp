#include "multi/32DisplayDialog.h"

C32DisplayDialog::C32DisplayDialog(CTolvexView* pView, QWidget* parent) : CTabPage(pView, parent) {}
