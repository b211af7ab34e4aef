#include "curves/PlotCurve.h"

#include <algorithm>
#include <cstring>

CPlotCurve::CPlotCurve(int nPenStyle, quint32 crColor, int nWidth)
    : m_pTimes(kCapacity), m_pPoints(kCapacity), m_crColor(crColor), m_nPenStyle(nPenStyle),
      m_nWidth(nWidth), m_arrColumnTimes(kWindow)
{
}

void CPlotCurve::AddValue(qint32 nValue, qint64 nUnixSeconds)
{
    m_anValues[size_t(m_nCount)] = nValue;
    m_pTimes[size_t(m_nCount)] = nUnixSeconds;
    m_nVisible = std::min(m_nVisible + 1, kWindow);
    ++m_nCount;
    if (m_nCount == kCapacity) {
        // Not a ring: the newer half moves down once every 1220 samples.
        std::memmove(m_anValues.data(), m_anValues.data() + kWindow, kWindow * sizeof(qint32));
        std::memmove(m_pTimes.data(), m_pTimes.data() + kWindow, kWindow * sizeof(qint64));
        m_nCount = kWindow;
    }
}

int CPlotCurve::GetPoints(const QPoint*& pPoints, const qint64*& pTimes, int& nColumns)
{
    nColumns = 0;
    pPoints = m_pPoints.data();
    pTimes = m_pTimes.data();
    if (m_nMode == History)
        return GetHistoryPoints(pTimes, nColumns);
    if (m_nMode != RealTime || m_nVisible < 1)
        return 0;
    const int nFirst = m_nCount - m_nVisible;
    for (int j = 0; j < m_nVisible; ++j)
        m_pPoints[size_t(j)] = QPoint(j + 1, m_anValues[size_t(nFirst + j)]);
    pTimes = m_pTimes.data() + nFirst;
    nColumns = m_nVisible;
    return m_nVisible;
}

int CPlotCurve::GetHistoryPoints(const qint64*& pTimes, int& nColumns)
{
    const qint64 nCount = RecordCount();
    const qint64 nStart = std::max<qint64>(m_nStart, 0);
    if (nCount < 1 || nStart >= nCount)
        return 0;
    const qint64 nZoom = std::max(m_nZoom, 1);
    const qint64 nColumnsLeft = (nCount - nStart + nZoom - 1) / nZoom;
    nColumns = int(std::min<qint64>(nColumnsLeft, kWindow));
    pTimes = m_arrColumnTimes.data();
    int nPoints = 0;
    for (int j = 0; j < nColumns; ++j) {
        const qint64 nFirst = nStart + j * nZoom;
        qint64 nSeconds = 0;
        m_arrColumnTimes[size_t(j)] = m_pRecords->Seconds(nFirst, nSeconds) ? nSeconds : kNoTime;
        if (nZoom == 1) {
            m_pPoints[size_t(nPoints++)] = QPoint(j + 1, m_pRecords->Record(nFirst).m_nValue);
            continue;
        }
        qint32 nMin = 0;
        qint32 nMax = 0;
        m_pRecords->MinMax(nFirst, std::min(nFirst + nZoom, nCount), nMin, nMax);
        // Up and down in turn: each column joins the next at the near end,
        // not across the whole height.
        const bool bUp = j % 2 == 0;
        m_pPoints[size_t(nPoints++)] = QPoint(j + 1, bUp ? nMin : nMax);
        m_pPoints[size_t(nPoints++)] = QPoint(j + 1, bUp ? nMax : nMin);
    }
    return nPoints;
}

void CPlotCurve::SetHistoryData(std::shared_ptr<const CHistoryData> pRecords)
{
    m_pRecords = std::move(pRecords);
}
