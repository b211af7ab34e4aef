#include "link/ReadingTap.h"

void CReadingTap::SetSink(std::shared_ptr<CReadingSink> pSink)
{
    const std::lock_guard lock(m_mutex);
    m_pSink = std::move(pSink);
}

std::shared_ptr<CReadingSink> CReadingTap::Sink() const
{
    const std::lock_guard lock(m_mutex);
    return m_pSink;
}

void CReadingTap::Report(const MeasuredReading& reading)
{
    if (const std::shared_ptr<CReadingSink> pSink = Sink())
        pSink->OnReading(reading);
}

void CReadingTap::ReportCycle(qint64 nElapsedMs, int nMaxAddress)
{
    if (const std::shared_ptr<CReadingSink> pSink = Sink())
        pSink->OnPatrolCycle(nElapsedMs, nMaxAddress);
}
