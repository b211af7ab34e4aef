#pragma once

#include "curves/HistoryData.h"

#include <QPoint>
#include <QtGlobal>

#include <array>
#include <limits>
#include <memory>
#include <vector>

// One curve of the plot. In real-time mode it keeps the newest samples in a
// buffer of 2440 that shifts by half once it is full, and shows the newest
// 1220; in history mode it shows up to 1220 columns of its copy of a file's
// records from a start index, each column one record, or at zoom z the
// extremes of z records. Not locked: the plot guards it.
class CPlotCurve
{
public:
    static constexpr int kCapacity = 2440;
    static constexpr int kWindow = 1220;
    // A time that no clock gives: labelled -1:-1:-1 and 0-0-0.
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

    enum Mode
    {
        RealTime = 0,
        History = 1
    };

    CPlotCurve(int nPenStyle, quint32 crColor, int nWidth);

    // Stores the value stamped with nUnixSeconds at m_nCount.
    void AddValue(qint32 nValue, qint64 nUnixSeconds);

    // Fills the point scratch (x from 1, y the value) and the time of each
    // column; returns the number of points. A history column at zoom > 1 has
    // two points, its minimum and its maximum.
    int GetPoints(const QPoint*& pPoints, const qint64*& pTimes, int& nColumns);

    void SetHistoryData(std::shared_ptr<const CHistoryData> pRecords);
    const CHistoryData* HistoryData() const { return m_pRecords.get(); }
    // Records of the history copy (0 without one).
    qint64 RecordCount() const { return m_pRecords ? m_pRecords->Count() : 0; }

    int m_nCount = 0;
    int m_nVisible = 0;
    std::array<qint32, kCapacity> m_anValues{};
    std::vector<qint64> m_pTimes;
    std::vector<QPoint> m_pPoints;
    int m_nMode = RealTime;
    qint64 m_nStart = 0;
    int m_nZoom = 1;
    quint32 m_crColor; // 0xAARRGGBB
    int m_nPenStyle;
    int m_nWidth;

private:
    int GetHistoryPoints(const qint64*& pTimes, int& nColumns);

    std::shared_ptr<const CHistoryData> m_pRecords;
    std::vector<qint64> m_arrColumnTimes; // time of each history column
};
