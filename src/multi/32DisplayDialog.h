#pragma once

#include "app/TabPage.h"

// The multi-module page: the values of a range of addresses in one grid.
class C32DisplayDialog : public CTabPage
{
public:
    explicit C32DisplayDialog(CTolvexView* pView, QWidget* parent = nullptr);
};
