#include "sim/SimFrameSplitter.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

// 'S', two digits, ';' at nPos.
bool CSimFrameSplitter::FrameStartsAt(qsizetype nPos) const
{
    return nPos + 4 <= m_pending.size() && m_pending[nPos] == 'S' && IsDigit(m_pending[nPos + 1]) &&
           IsDigit(m_pending[nPos + 2]) && m_pending[nPos + 3] == ';';
}

// The bytes from nPos to the end are the beginning of a frame start.
bool CSimFrameSplitter::MayStartFrameAt(qsizetype nPos) const
{
    const qsizetype nLen = m_pending.size() - nPos;
    return nLen < 4 && (nLen < 1 || m_pending[nPos] == 'S') &&
           (nLen < 2 || IsDigit(m_pending[nPos + 1])) && (nLen < 3 || IsDigit(m_pending[nPos + 2]));
}

void CSimFrameSplitter::BeginFrame(qsizetype nPos)
{
    m_bInFrame = true;
    m_bQuoted = false;
    m_nFrameStart = nPos;
    m_nScan = nPos + 4;
    m_nCommandStart = m_nScan;
    m_commands.clear();
}

void CSimFrameSplitter::TakeFrame(qsizetype nEnd, QList<Frame>& frames)
{
    Frame frame;
    frame.m_nAddress =
        (m_pending[m_nFrameStart + 1] - '0') * 10 + (m_pending[m_nFrameStart + 2] - '0');
    frame.m_commands = m_commands;
    frame.m_nBytes = nEnd - m_nFrameStart;
    frame.m_text = m_pending.mid(m_nFrameStart, frame.m_nBytes);
    frames.append(frame);
}

// Drops the bytes before nFrom, keeping the positions of the frame being read.
void CSimFrameSplitter::Trim(qsizetype nFrom)
{
    m_pending.remove(0, nFrom);
    m_nFrameStart -= nFrom;
    m_nScan -= nFrom;
    m_nCommandStart -= nFrom;
}

void CSimFrameSplitter::Clear()
{
    m_pending.clear();
    m_bInFrame = false;
    m_commands.clear();
}

QList<CSimFrameSplitter::Frame> CSimFrameSplitter::Feed(const QByteArray& bytes,
                                                        Clock::time_point tNow)
{
    // A tail left over from an earlier burst belongs to a frame that will not
    // be finished once the line has been quiet or a fresh frame begins.
    const bool bFreshFrame = bytes.size() >= 4 && bytes[0] == 'S' && IsDigit(bytes[1]) &&
                             IsDigit(bytes[2]) && bytes[3] == ';';
    if (!m_pending.isEmpty() && (tNow - m_tLastInput > kTailTimeout || bFreshFrame))
        Clear();
    m_tLastInput = tNow;
    m_pending += bytes;

    QList<Frame> frames;
    qsizetype nPos = 0; // when no frame is being read: where the search goes on
    for (;;) {
        if (!m_bInFrame) {
            while (nPos < m_pending.size() && !FrameStartsAt(nPos) && !MayStartFrameAt(nPos))
                ++nPos; // junk between frames
            if (!FrameStartsAt(nPos)) {
                m_pending.remove(0, nPos); // keep what may yet begin a frame
                return frames;
            }
            BeginFrame(nPos);
        }
        bool bRestarted = false;
        bool bTooLong = false;
        while (m_nScan < m_pending.size()) {
            if (!m_bQuoted && m_pending[m_nScan] == 'S') {
                if (FrameStartsAt(m_nScan)) {
                    bRestarted = true; // a new frame cuts off an unfinished command
                    break;
                }
                if (MayStartFrameAt(m_nScan))
                    break; // look again when the next bytes tell
            }
            const char c = m_pending[m_nScan];
            if (c == '"') {
                m_bQuoted = !m_bQuoted;
            } else if (c == ';' && !m_bQuoted) {
                m_commands.append(m_pending.mid(m_nCommandStart, m_nScan - m_nCommandStart));
                m_nCommandStart = m_nScan + 1;
            }
            ++m_nScan;
            bTooLong =
                m_nScan - m_nCommandStart > kMaxCommandLen || m_nScan - m_nFrameStart > kMaxPending;
            if (bTooLong)
                break; // longer than a command or a frame can be
        }
        const qsizetype nEnd = bRestarted ? m_nScan : m_pending.size();
        const bool bComplete = !m_commands.isEmpty() && m_nCommandStart == nEnd && !m_bQuoted;
        if (bComplete || bRestarted || bTooLong) {
            if (bComplete)
                TakeFrame(nEnd, frames);
            m_bInFrame = false;
            m_commands.clear();
            nPos = bComplete ? nEnd : m_nScan;
            continue;
        }
        // Unfinished: keep it for the bytes still to come.
        Trim(m_nFrameStart);
        return frames;
    }
}
