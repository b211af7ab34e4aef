#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>

// Cuts the incoming byte stream into frames: 'S', two digits, ';', then
// commands that each end with ';' (a ';' inside double quotes does not end one).
// Frames carry no terminator, so a frame is taken when its bytes end on a
// command boundary; an unfinished tail waits for more bytes and is dropped
// after a silence or when a new frame starts.
//
// Like a module's receive buffer, the splitter gives up on a frame whose
// command grows longer than any command can be, or which grows longer than
// any frame can be (noise that opened a frame and never ends it): what is
// kept stays bounded under a stream of noise. Each byte is looked at once,
// whatever the blocks it arrives in.
class CSimFrameSplitter
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kTailTimeout{100};
    static constexpr qsizetype kMaxCommandLen = 256;
    static constexpr qsizetype kMaxPending = 4096;

    struct Frame
    {
        int m_nAddress = 0;
        QList<QByteArray> m_commands; // without their ';'
        qsizetype m_nBytes = 0;       // length of the frame on the wire
        QByteArray m_text;            // the frame as it came, "S01;MSV?;"
    };

    // Adds bytes that arrived at tNow and returns the frames now complete.
    QList<Frame> Feed(const QByteArray& bytes, Clock::time_point tNow);

    // The bytes kept for frames still to come: an unfinished frame, or the
    // last few bytes that may yet begin one.
    const QByteArray& Pending() const { return m_pending; }
    void Clear();

private:
    bool FrameStartsAt(qsizetype nPos) const;
    bool MayStartFrameAt(qsizetype nPos) const;
    void BeginFrame(qsizetype nPos);
    void TakeFrame(qsizetype nEnd, QList<Frame>& frames);
    void Trim(qsizetype nFrom);

    QByteArray m_pending;
    Clock::time_point m_tLastInput{};
    // The frame being read, when m_bInFrame: it begins at m_pending[0] once
    // Feed returns; bytes before m_nScan have been looked at.
    bool m_bInFrame = false;
    bool m_bQuoted = false;
    qsizetype m_nFrameStart = 0;
    qsizetype m_nScan = 0;
    qsizetype m_nCommandStart = 0;
    QList<QByteArray> m_commands;
};
