#include "link/MeasuredValuePoll.h"

#include "link/BusLink.h"
#include "link/RunControl.h"

#include <chrono>

CMeasuredValuePoll::CMeasuredValuePoll(CBusLink& link, CRunControl& control)
    : m_link(link), m_control(control)
{
}

void CMeasuredValuePoll::SetDisplay(Formatter formatter, const QString& strUnit)
{
    const std::lock_guard lock(m_displayMutex);
    m_formatter = std::move(formatter);
    m_strUnit = strUnit;
}

void CMeasuredValuePoll::ReportCycle(qint64 nElapsedMs, int nMaxAddress)
{
    if (!m_strSource.isEmpty())
        m_link.Readings().ReportCycle(nElapsedMs, nMaxAddress);
}

void CMeasuredValuePoll::Report(int nAddress, Outcome outcome, qint32 nValue) const
{
    if (m_strSource.isEmpty())
        return;
    MeasuredReading reading;
    reading.m_nAddress = nAddress;
    reading.m_strSource = m_strSource;
    switch (outcome) {
    case Outcome::Value: {
        reading.m_bOk = true;
        reading.m_nRaw = nValue;
        const std::lock_guard lock(m_displayMutex);
        if (m_formatter) {
            reading.m_strValue = m_formatter(nValue);
            reading.m_strUnit = m_strUnit;
        }
        break;
    }
    case Outcome::NoReply:
        reading.m_strReason = QStringLiteral("timeout");
        break;
    case Outcome::BadCheckByte:
        reading.m_strReason = QStringLiteral("bad check byte");
        break;
    case Outcome::BadReply:
        reading.m_strReason = QStringLiteral("bad reply");
        break;
    case Outcome::PortClosed:
        reading.m_strReason = QStringLiteral("port closed");
        break;
    }
    m_link.Readings().Report(reading);
}

CMeasuredValuePoll::Outcome CMeasuredValuePoll::Read(int nAddress, int nTimeoutMs,
                                                     std::optional<bool> checksum, qint32& nValue)
{
    const Outcome outcome = ReadOnce(nAddress, nTimeoutMs, checksum, nValue);
    Report(nAddress, outcome, nValue);
    return outcome;
}

CMeasuredValuePoll::Outcome CMeasuredValuePoll::ReadOnce(int nAddress, int nTimeoutMs,
                                                         std::optional<bool> checksum,
                                                         qint32& nValue)
{
    if (m_link.IsPortOpen()) {
        const auto tLastReply = m_link.LastReplyTime();
        bool bBadCheckByte = false;
        if (m_link.ReadMeasuredValue(nAddress, nValue, kReplyLen, nTimeoutMs,
                                     checksum.value_or(m_link.m_bChecksum.load() != 0),
                                     &bBadCheckByte))
            return Outcome::Value;
        if (bBadCheckByte)
            return Outcome::BadCheckByte;
        if (m_link.IsPortOpen())
            return m_link.LastReplyTime() == tLastReply ? Outcome::NoReply : Outcome::BadReply;
    }
    // Nothing can answer, and the read failed at once: it costs its time-out.
    m_control.Wait(nTimeoutMs);
    return Outcome::PortClosed;
}

int CMeasuredValuePoll::Run(int nAddress, int nCount, const Sink& sink)
{
    using Clock = std::chrono::steady_clock;
    int nReads = 0;
    while ((nCount == 0 || nReads < nCount) && !m_control.StopRequested()) {
        const Clock::time_point tStart = Clock::now();
        qint32 nValue = 0;
        const Outcome outcome = Read(nAddress, m_nTimeoutMs, m_checksum, nValue);
        ++nReads;
        sink(outcome, nValue);
        if (m_nIntervalMs <= 0 || (nCount != 0 && nReads >= nCount))
            continue;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tStart);
        if (elapsed.count() < m_nIntervalMs && !m_control.StopRequested())
            m_control.Wait(int(m_nIntervalMs - elapsed.count()));
    }
    return nReads;
}
