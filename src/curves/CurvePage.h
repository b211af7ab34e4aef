#pragma once

#include "uikit/TabPage.h"

// A page that draws a curve against a value axis of maximum, minimum and
// divisions, which the view applies from the stored curve settings.
class CCurvePage : public CTabPage
{
public:
    using CTabPage::CTabPage;

    void SetRange(int nMaxY, int nMinY, int nDivY)
    {
        m_nMaxY = nMaxY;
        m_nMinY = nMinY;
        m_nDivY = nDivY;
        OnRangeChanged();
    }
    int MaxY() const { return m_nMaxY; }
    int MinY() const { return m_nMinY; }
    int DivY() const { return m_nDivY; }

protected:
    // The page hands the new range to its plot.
    virtual void OnRangeChanged() {}

private:
    int m_nMaxY = 100;
    int m_nMinY = -100;
    int m_nDivY = 20;
};
