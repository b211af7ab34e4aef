#pragma once

#include "uikit/TabPage.h"

// The parameter and calibration page.
class CParamSettingsDialog : public CTabPage
{
public:
    explicit CParamSettingsDialog(CPageContext& context, QWidget* parent = nullptr);

    // The menu commands "导入参数(&I)" and "导出参数(&E)" land here.
    void ImportParams();
    void ExportParams();
};
