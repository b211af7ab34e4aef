#include "terminal/RemoteDialog.h"

#include "ui_RemoteDialog.h"

CRemoteDialog::CRemoteDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent), m_pUi(std::make_unique<Ui::RemoteDialog>())
{
    m_pUi->setupUi(this);
    for (QWidget* pChild : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        pChild->hide();
}

CRemoteDialog::~CRemoteDialog() = default;
