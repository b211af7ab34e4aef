#include "curves/PlotScale.h"

#include <algorithm>
#include <ctime>

namespace {

constexpr qint64 kDrawingLimit = 1000000;

bool LocalTime(qint64 nUnixSeconds, bool bValid, std::tm& tmLocal)
{
    if (!bValid)
        return false;
    const std::time_t tSeconds = std::time_t(nUnixSeconds);
    return localtime_r(&tSeconds, &tmLocal) != nullptr;
}

} // namespace

qint64 CPlotScale::Range(int nMaxY, int nMinY)
{
    const qint64 nRange = qint64(nMaxY) - qint64(nMinY);
    return nRange == 0 ? 1 : nRange;
}

int CPlotScale::Divisions(int nDivY)
{
    return std::clamp(nDivY, kMinDivisions, kMaxDivisions);
}

qint64 CPlotScale::Step(int nMaxY, int nMinY, int nDivY)
{
    return Range(nMaxY, nMinY) / Divisions(nDivY);
}

std::vector<CPlotScale::GridLine> CPlotScale::GridLines(int nMaxY, int nMinY, int nDivY, int nTop,
                                                        int nBottom)
{
    const int nDivisions = Divisions(nDivY);
    const qint64 nStep = Step(nMaxY, nMinY, nDivY);
    const qint64 nRange = Range(nMaxY, nMinY);
    std::vector<GridLine> arrLines;
    arrLines.reserve(size_t(nDivisions) + 1);
    for (int i = 0; i <= nDivisions; ++i) {
        const qint64 nOffset = i * nStep;
        const qint64 nY = nBottom + (qint64(nTop) - nBottom) * nOffset / nRange;
        arrLines.push_back({nMinY + nOffset, ClampForDrawing(nY)});
    }
    return arrLines;
}

qint64 CPlotScale::ValueToY(qint64 nValue, int nMaxY, int nMinY, int nTop, int nBottom)
{
    // A 128-bit product: no value, range or height can overflow it.
    const __int128 nProduct = __int128(qint64(nTop) - nBottom) * (nValue - nMinY);
    return nBottom + qint64(nProduct / Range(nMaxY, nMinY));
}

int CPlotScale::ClampForDrawing(qint64 nY)
{
    return int(std::clamp(nY, -kDrawingLimit, kDrawingLimit));
}

int CPlotScale::TimeLabelSpacing(int nPlotWidth, int nDivX)
{
    if (nDivX <= 0 || nPlotWidth <= 0)
        return 0;
    return nPlotWidth / nDivX;
}

QString CPlotScale::TimeLabel(qint64 nUnixSeconds, bool bValid)
{
    std::tm tmLocal{};
    if (!LocalTime(nUnixSeconds, bValid, tmLocal))
        return QStringLiteral("-1:-1:-1");
    return QStringLiteral("%1:%2:%3").arg(tmLocal.tm_hour).arg(tmLocal.tm_min).arg(tmLocal.tm_sec);
}

QString CPlotScale::DateLabel(qint64 nUnixSeconds, bool bValid)
{
    std::tm tmLocal{};
    if (!LocalTime(nUnixSeconds, bValid, tmLocal))
        return QStringLiteral("0-0-0");
    return QStringLiteral("%1-%2-%3")
        .arg(tmLocal.tm_year + 1900)
        .arg(tmLocal.tm_mon + 1)
        .arg(tmLocal.tm_mday);
}
