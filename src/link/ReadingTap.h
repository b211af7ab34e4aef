#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <mutex>

// One measured-value read as whoever took it saw it.
struct MeasuredReading
{
    int m_nAddress = 0;
    qint32 m_nRaw = 0;
    bool m_bOk = false;
    // Why a read failed: "timeout", "bad check byte", "bad reply", "port closed".
    QString m_strReason;
    // Who read it: "param", "realtime", "patrol", "cli".
    QString m_strSource;
    // The value as its page shows it, and its unit; empty where the reader
    // has no display settings.
    QString m_strValue;
    QString m_strUnit;
};

// Receives every reading and patrol cycle, on the thread that took it; it
// must return at once (it never waits on anything slow).
class CReadingSink
{
public:
    virtual ~CReadingSink() = default;
    virtual void OnReading(const MeasuredReading& reading) = 0;
    virtual void OnPatrolCycle(qint64 nElapsedMs, int nMaxAddress) = 0;
};

// Where the link's readers report what they read. The sink may be replaced
// from any thread; a report in flight keeps the sink it started with alive.
class CReadingTap
{
public:
    void SetSink(std::shared_ptr<CReadingSink> pSink);
    // The sink in place (null for none), to be wrapped by another.
    std::shared_ptr<CReadingSink> Sink() const;
    void Report(const MeasuredReading& reading);
    void ReportCycle(qint64 nElapsedMs, int nMaxAddress);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<CReadingSink> m_pSink;
};
