#include "terminal/RemoteDialog.h"

CRemoteDialog::CRemoteDialog(CPageContext& context, QWidget* parent) : CTabPage(context, parent) {}
