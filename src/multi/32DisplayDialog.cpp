#include "multi/32DisplayDialog.h"

C32DisplayDialog::C32DisplayDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent)
{
}
