#include "sim/SimFrameSplitter.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// 'S', two digits, ';' at nPos.
bool IsFrameStart(const QByteArray& bytes, qsizetype nPos)
{
    return nPos + 4 <= bytes.size() && bytes[nPos] == 'S' && IsDigit(bytes[nPos + 1]) &&
           IsDigit(bytes[nPos + 2]) && bytes[nPos + 3] == ';';
}

} // namespace

QList<CSimFrameSplitter::Frame> CSimFrameSplitter::Feed(const QByteArray& bytes,
                                                        Clock::time_point tNow)
{
    // A tail left over from an earlier burst belongs to a frame that will not
    // be finished once the line has been quiet or a fresh frame begins.
    if (!m_pending.isEmpty() && (tNow - m_tLastInput > kTailTimeout || IsFrameStart(bytes, 0)))
        m_pending.clear();
    m_tLastInput = tNow;
    m_pending += bytes;

    QList<Frame> frames;
    qsizetype nPos = 0;
    while (nPos < m_pending.size()) {
        if (!IsFrameStart(m_pending, nPos)) {
            ++nPos; // junk between frames
            continue;
        }
        Frame frame;
        frame.m_nAddress = (m_pending[nPos + 1] - '0') * 10 + (m_pending[nPos + 2] - '0');
        qsizetype nCur = nPos + 4;
        qsizetype nCommandStart = nCur;
        bool bQuoted = false;
        bool bRestarted = false;
        while (nCur < m_pending.size()) {
            const char c = m_pending[nCur];
            if (!bQuoted && IsFrameStart(m_pending, nCur)) {
                bRestarted = true; // a new frame cuts off an unfinished command
                break;
            }
            if (c == '"') {
                bQuoted = !bQuoted;
            } else if (c == ';' && !bQuoted) {
                frame.m_commands.append(m_pending.mid(nCommandStart, nCur - nCommandStart));
                nCommandStart = nCur + 1;
            }
            ++nCur;
        }
        const bool bComplete = !frame.m_commands.isEmpty() && nCommandStart == nCur && !bQuoted;
        if (bComplete) {
            frame.m_nBytes = nCur - nPos;
            frame.m_text = m_pending.mid(nPos, frame.m_nBytes);
            frames.append(frame);
        } else if (!bRestarted) {
            // Unfinished: keep it for the bytes still to come, unless it is
            // longer than a frame can be.
            m_pending.remove(0, nPos);
            if (m_pending.size() > kMaxPending)
                m_pending.clear();
            return frames;
        }
        nPos = nCur;
    }
    m_pending.clear();
    return frames;
}
