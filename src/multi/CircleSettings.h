#pragma once

#include <QBrush>

// The multi-module page's settings, copied whole between the page and its
// settings dialog. Held in memory only. Colours are 0x00BBGGRR.
struct CircleSettings
{
    static constexpr int kMaxDecimals = 6;
    static constexpr int kUnitCount = 11;
    static constexpr int kLastAddress = 31;
    static constexpr int kMinTimeoutMs = 50;
    static constexpr int kMaxTimeoutMs = 5000;

    int m_nDecimals = 0;
    int m_nUnit = 0;
    int m_nMaxAddress = 0;
    int m_nTimeout = 100;
    QBrush m_hBrush;
    quint32 m_crGridFore = 0x0000FF; // RGB(255, 0, 0)
    quint32 m_crGridBack = 0x00FFFF; // RGB(255, 255, 0)

    // Every field brought into its range.
    CircleSettings Clamped() const;

    static int ClampMaxAddress(int nMaxAddress);
    static int ClampTimeout(int nTimeoutMs);
};
