#include "params/WeightReading.h"

#include "module/ValueTables.h"

#include <cmath>
#include <iterator>
#include <limits>

CWeightReading::Statistics CWeightReading::Accumulate(const Statistics& previous, bool bRestart,
                                                      qint32 nValue)
{
    Statistics statistics = previous;
    if (bRestart)
        statistics.m_nMaximum = statistics.m_nMinimum = nValue;
    if (nValue > statistics.m_nMaximum)
        statistics.m_nMaximum = nValue;
    if (nValue < statistics.m_nMinimum)
        statistics.m_nMinimum = nValue;
    const qint64 nDifference = qint64(statistics.m_nMaximum) - statistics.m_nMinimum;
    statistics.m_nDifference =
        static_cast<qint32>(qBound(qint64(std::numeric_limits<qint32>::min()), nDifference,
                                   qint64(std::numeric_limits<qint32>::max())));
    return statistics;
}

int CWeightReading::Division(int nDivisionIndex)
{
    // The list's entries are the divisions themselves.
    const int nDivision =
        CValueTables::Entries(CValueTables::List::DisplayDivision).value(nDivisionIndex).toInt();
    return nDivision > 0 ? nDivision : 1;
}

qint32 CWeightReading::Round(qint32 nValue, int nDivisionIndex)
{
    const int nDivision = Division(nDivisionIndex);
    return nDivision * (nValue / nDivision);
}

QString CWeightReading::Text(qint32 nValue, int nDivisionIndex, int nDecimals)
{
    const int nPlaces = qBound(0, nDecimals, 6);
    const double dValue = Round(nValue, nDivisionIndex) / std::pow(10.0, nPlaces);
    return QString::asprintf("%.*f", nPlaces, dValue);
}

QString CWeightReading::UnitText(int nUnitIndex)
{
    static const char* const kUnits[] = {"g", "kg", "T", "lb", "N"};
    if (nUnitIndex < 0 || nUnitIndex >= int(std::size(kUnits)))
        return QString();
    return QString::fromLatin1(kUnits[nUnitIndex]);
}
