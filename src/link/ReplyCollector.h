#pragma once

#include <QByteArray>

// Decides when the bytes arriving for one exchange form the reply. It is fed
// the bytes as they arrive and a tick for every 30 ms pause after the first
// byte; the caller owns the port and the timer.
//
// The rules: complete as soon as at least the expected number of bytes is
// waiting and they end with CR LF; on a tick, complete when at least the
// expected number is waiting; after the eleventh tick complete when the bytes
// end with CR LF, else discard them (the caller then empties the port's
// buffers). A tick that finds the count reached by fewer than three bytes
// discards them. What is kept is bounded by the reply buffer.
class CReplyCollector
{
public:
    static constexpr int kPauseMs = 30;
    static constexpr int kPauseCount = 11;
    static constexpr int kMaxReplyLen = 2048;

    enum class Verdict
    {
        KeepWaiting,
        Complete,
        Discard
    };
    // Why the last verdict was reached, for the link's log.
    enum class Reason
    {
        None,
        Count,     // at least the expected number of bytes
        CrLf,      // fewer, but ending with CR LF once the pauses ran out
        Incomplete // neither, when the pauses ran out
    };

    // Starts over for an exchange that expects nExpectedLen bytes.
    void Start(int nExpectedLen);
    // Bytes that arrived. The first ones start the pauses (IsTicking).
    Verdict Feed(const QByteArray& bytes);
    // One pause has passed since the first byte or the last tick.
    Verdict Tick();

    // True from the first byte until a verdict other than KeepWaiting.
    bool IsTicking() const { return m_bTicking; }
    int Ticks() const { return m_nTicks; }
    int ExpectedLen() const { return m_nExpectedLen; }
    Reason LastReason() const { return m_reason; }
    const QByteArray& Waiting() const { return m_waiting; }
    // The reply of a Complete verdict (or the bytes of a Discard); starts over
    // with the same expected length.
    QByteArray Take();

private:
    Verdict Decide(Verdict verdict, Reason reason);

    QByteArray m_waiting;
    int m_nExpectedLen = 3;
    int m_nTicks = 0;
    bool m_bTicking = false;
    Reason m_reason = Reason::None;
};
