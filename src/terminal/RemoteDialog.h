#pragma once

#include "uikit/TabPage.h"

// The remote monitoring page; it has no controls of its own.
class CRemoteDialog : public CTabPage
{
public:
    explicit CRemoteDialog(CPageContext& context, QWidget* parent = nullptr);
};
