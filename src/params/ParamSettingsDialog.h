#pragma once

#include "app/TabPage.h"

// The parameter and calibration page.
class CParamSettingsDialog : public CTabPage
{
public:
    explicit CParamSettingsDialog(CTolvexView* pView, QWidget* parent = nullptr);

    // The menu commands "导入参数(&I)" and "导出参数(&E)" land here.
    void ImportParams();
    void ExportParams();
};
