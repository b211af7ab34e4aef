#include "multi/CircleSettings.h"

#include <QtGlobal>

CircleSettings CircleSettings::Clamped() const
{
    CircleSettings settings = *this;
    settings.m_nDecimals = qBound(0, m_nDecimals, kMaxDecimals);
    settings.m_nUnit = qBound(0, m_nUnit, kUnitCount - 1);
    settings.m_nMaxAddress = ClampMaxAddress(m_nMaxAddress);
    settings.m_nTimeout = ClampTimeout(m_nTimeout);
    return settings;
}

int CircleSettings::ClampMaxAddress(int nMaxAddress)
{
    return qBound(0, nMaxAddress, kLastAddress);
}

int CircleSettings::ClampTimeout(int nTimeoutMs)
{
    return qBound(kMinTimeoutMs, nTimeoutMs, kMaxTimeoutMs);
}
