#include "terminal/RemoteDialog.h"

CRemoteDialog::CRemoteDialog(CTolvexView* pView, QWidget* parent) : CTabPage(pView, parent) {}
