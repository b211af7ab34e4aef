#pragma once

#include "app/TabPage.h"

// The history curve page: a recorded file drawn as a curve.
class CHistoryDialog : public CTabPage
{
public:
    explicit CHistoryDialog(CTolvexView* pView, QWidget* parent = nullptr);

    // Value axis of the page's plot: maximum, minimum and divisions.
    void SetRange(int nMaxY, int nMinY, int nDivY);
    int MaxY() const { return m_nMaxY; }
    int MinY() const { return m_nMinY; }
    int DivY() const { return m_nDivY; }

private:
    int m_nMaxY = 100;
    int m_nMinY = -100;
    int m_nDivY = 20;
};
