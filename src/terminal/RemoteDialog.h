#pragma once

#include "uikit/TabPage.h"

#include <memory>

namespace Ui {
class RemoteDialog;
}

// The remote monitoring page: its server controls exist but nothing shows
// them, and it does no network work; it shows the page background only.
class CRemoteDialog : public CTabPage
{
    Q_OBJECT
public:
    explicit CRemoteDialog(CPageContext& context, QWidget* parent = nullptr);
    ~CRemoteDialog() override;

private:
    std::unique_ptr<Ui::RemoteDialog> m_pUi;
};
