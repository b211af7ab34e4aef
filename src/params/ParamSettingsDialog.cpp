#include "params/ParamSettingsDialog.h"

CParamSettingsDialog::CParamSettingsDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent)
{
}

void CParamSettingsDialog::ImportParams() {}

void CParamSettingsDialog::ExportParams() {}
