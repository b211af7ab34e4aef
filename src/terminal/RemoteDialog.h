#pragma once

#include "app/TabPage.h"

// The remote monitoring page; it has no controls of its own.
class CRemoteDialog : public CTabPage
{
public:
    explicit CRemoteDialog(CTolvexView* pView, QWidget* parent = nullptr);
};
