#include "link/ReplyCollector.h"

void CReplyCollector::Start(int nExpectedLen)
{
    m_nExpectedLen = nExpectedLen;
    m_waiting.clear();
    m_nTicks = 0;
    m_bTicking = false;
    m_reason = Reason::None;
}

CReplyCollector::Verdict CReplyCollector::Feed(const QByteArray& bytes)
{
    const qsizetype nRoom = kMaxReplyLen - m_waiting.size();
    if (nRoom > 0)
        m_waiting.append(bytes.left(nRoom));
    m_bTicking = true;
    if (m_waiting.size() >= m_nExpectedLen && m_waiting.endsWith("\r\n"))
        return Decide(Verdict::Complete, Reason::Count);
    return Verdict::KeepWaiting;
}

CReplyCollector::Verdict CReplyCollector::Tick()
{
    if (!m_bTicking)
        return Verdict::KeepWaiting;
    ++m_nTicks;
    if (m_waiting.size() >= m_nExpectedLen) {
        if (m_waiting.size() >= 3)
            return Decide(Verdict::Complete, Reason::Count);
        return Decide(Verdict::Discard, Reason::Incomplete);
    }
    if (m_nTicks < kPauseCount)
        return Verdict::KeepWaiting;
    if (m_waiting.endsWith("\r\n"))
        return Decide(Verdict::Complete, Reason::CrLf);
    return Decide(Verdict::Discard, Reason::Incomplete);
}

CReplyCollector::Verdict CReplyCollector::Decide(Verdict verdict, Reason reason)
{
    m_bTicking = false;
    m_reason = reason;
    return verdict;
}

QByteArray CReplyCollector::Take()
{
    const QByteArray reply = m_waiting;
    m_waiting.clear();
    m_nTicks = 0;
    m_bTicking = false;
    return reply;
}
