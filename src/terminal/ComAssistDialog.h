#pragma once

#include "app/TabPage.h"

// The serial terminal page: the bus port driven directly.
class CComAssistDialog : public CTabPage
{
public:
    explicit CComAssistDialog(CTolvexView* pView, QWidget* parent = nullptr);
};
