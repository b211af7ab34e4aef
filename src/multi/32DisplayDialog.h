#pragma once

#include "uikit/TabPage.h"

// The multi-module page: the values of a range of addresses in one grid.
class C32DisplayDialog : public CTabPage
{
public:
    explicit C32DisplayDialog(CPageContext& context, QWidget* parent = nullptr);
};
