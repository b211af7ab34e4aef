#pragma once

#include "curves/CurvePage.h"

// The real-time curve page.
class CPlotDisplayDialog : public CCurvePage
{
public:
    explicit CPlotDisplayDialog(CPageContext& context, QWidget* parent = nullptr);
};
