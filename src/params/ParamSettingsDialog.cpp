#include "params/ParamSettingsDialog.h"

CParamSettingsDialog::CParamSettingsDialog(CTolvexView* pView, QWidget* parent)
    : CTabPage(pView, parent)
{
}

void CParamSettingsDialog::ImportParams() {}

void CParamSettingsDialog::ExportParams() {}
