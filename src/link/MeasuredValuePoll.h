#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <mutex>
#include <optional>

class CBusLink;
class CRunControl;

// The one procedure that reads measured values: "S%.2d;MSV?;" and the binary
// reply of output format 8, with the check byte tested as the link's shared
// m_bChecksum says or as the caller pins it for an address.
//
// A read on a closed port sends nothing and fails at once; the poll then waits
// the read's time-out through its run control, so a worker on a closed port
// never spins and still ends at once when asked to stop.
class CMeasuredValuePoll
{
public:
    static constexpr int kReplyLen = 6;

    enum class Outcome
    {
        Value,
        // No reply completed within the time-out: a late one may still come.
        NoReply,
        // A reply came whose check byte is wrong.
        BadCheckByte,
        // A reply came that holds no value (too short, "?").
        BadReply,
        // The port is closed; the time-out has been waited.
        PortClosed,
    };

    // Every read, whatever its outcome, on the polling thread.
    using Sink = std::function<void(Outcome outcome, qint32 nValue)>;

    CMeasuredValuePoll(CBusLink& link, CRunControl& control);

    // One read of nAddress. checksum unset: the link's m_bChecksum decides.
    Outcome Read(int nAddress, int nTimeoutMs, std::optional<bool> checksum, qint32& nValue);

    // For Run: the time-out of each read, the check byte rule, and the least
    // time from the start of one read to the next (0: as fast as the bus answers).
    void SetTimeout(int nTimeoutMs) { m_nTimeoutMs = nTimeoutMs; }
    void SetChecksum(std::optional<bool> checksum) { m_checksum = checksum; }
    void SetInterval(int nIntervalMs) { m_nIntervalMs = nIntervalMs; }

    // With a source set, every read is reported to the link's reading tap under
    // that name; strUnit and the formatter give the value as the reader shows it
    // (SetDisplay from any thread, also while reads run).
    void SetSource(const QString& strSource) { m_strSource = strSource; }
    using Formatter = std::function<QString(qint32 nValue)>;
    void SetDisplay(Formatter formatter, const QString& strUnit);
    // A completed patrol cycle, to the tap when a source is set.
    void ReportCycle(qint64 nElapsedMs, int nMaxAddress);

    // Reads nAddress nCount times (0: until stopped), each read to the sink;
    // ends early when the run control asks to stop. Returns the reads made.
    int Run(int nAddress, int nCount, const Sink& sink);

private:
    CBusLink& m_link;
    CRunControl& m_control;
    int m_nTimeoutMs = 1500;
    std::optional<bool> m_checksum;
    int m_nIntervalMs = 0;
    QString m_strSource;
    mutable std::mutex m_displayMutex;
    Formatter m_formatter;
    QString m_strUnit;

    Outcome ReadOnce(int nAddress, int nTimeoutMs, std::optional<bool> checksum, qint32& nValue);
    void Report(int nAddress, Outcome outcome, qint32 nValue) const;
};
