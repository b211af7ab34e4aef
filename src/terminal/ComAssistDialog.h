#pragma once

#include "uikit/TabPage.h"

// The serial terminal page: the bus port driven directly.
class CComAssistDialog : public CTabPage
{
public:
    explicit CComAssistDialog(CPageContext& context, QWidget* parent = nullptr);
};
