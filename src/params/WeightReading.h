#pragma once

#include <QString>

// What the weight display makes of one measured value: the running maximum,
// minimum and their difference, the value rounded to the display division,
// and its text with the chosen decimals.
class CWeightReading
{
public:
    struct Statistics
    {
        qint32 m_nMaximum = 0;
        qint32 m_nMinimum = 0;
        qint32 m_nDifference = 0;
    };

    // The statistics after nValue; bRestart starts them afresh from it. The
    // difference saturates instead of overflowing (imported extremes may lie
    // far apart).
    static Statistics Accumulate(const Statistics& previous, bool bRestart, qint32 nValue);

    // The division of the table 1, 2, 5, 10, 20, 50, 100 at nIndex (1 outside it).
    static int Division(int nDivisionIndex);
    // division x (value / division), the division truncating toward zero.
    static qint32 Round(qint32 nValue, int nDivisionIndex);
    // The rounded value over 10^decimals, fixed with exactly that many decimals.
    static QString Text(qint32 nValue, int nDivisionIndex, int nDecimals);
    // The unit beside the weight: "g", "kg", "T", "lb", "N" (empty outside
    // them). The unit list spells the second "Kg"; the label does not.
    static QString UnitText(int nUnitIndex);
};
