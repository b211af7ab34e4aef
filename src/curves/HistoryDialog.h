#pragma once

#include "curves/CurvePage.h"

// The history curve page: a recorded file drawn as a curve.
class CHistoryDialog : public CCurvePage
{
public:
    explicit CHistoryDialog(CPageContext& context, QWidget* parent = nullptr);
};
