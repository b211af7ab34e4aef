#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// The plot's arithmetic, apart from any drawing: value-axis labels and lines,
// the y of a value, the spacing of the time labels. Products are taken in 64
// bits, so any 32-bit value and range at any height scale without overflow.
// The divisors are guarded: an empty range draws as a range of 1, divisions
// outside 1..100 draw as the nearest bound, a plot narrower than its time
// divisions gets no time labels.
class CPlotScale
{
public:
    static constexpr int kMinDivisions = 1;
    static constexpr int kMaxDivisions = 100;

    struct GridLine
    {
        qint64 m_nValue; // the label's number
        int m_nY;        // where its line runs
    };

    // The value range the drawing divides by: at least 1.
    static qint64 Range(int nMaxY, int nMinY);
    static int Divisions(int nDivY);
    // Label step: range / divisions, truncated toward zero.
    static qint64 Step(int nMaxY, int nMinY, int nDivY);
    // The divisions + 1 lines from the bottom (nMinY) upwards; the top line
    // falls below the plot top when the range does not divide evenly.
    static std::vector<GridLine> GridLines(int nMaxY, int nMinY, int nDivY, int nTop, int nBottom);
    // bottom + (top - bottom) * (value - min) / range, truncated toward zero.
    // Not clipped: a value outside the range lies outside the plot.
    static qint64 ValueToY(qint64 nValue, int nMaxY, int nMinY, int nTop, int nBottom);
    // A y the rasteriser can take: far-out values are clamped well outside
    // any window, so the line keeps its direction across the visible part.
    static int ClampForDrawing(qint64 nY);
    // Pixels per time division; 0 means no time labels.
    static int TimeLabelSpacing(int nPlotWidth, int nDivX);

    // "%d:%d:%d" and "%d-%d-%d" of the local time of nUnixSeconds; a time
    // that cannot be converted reads -1:-1:-1 and 0-0-0.
    static QString TimeLabel(qint64 nUnixSeconds, bool bValid);
    static QString DateLabel(qint64 nUnixSeconds, bool bValid);
};
