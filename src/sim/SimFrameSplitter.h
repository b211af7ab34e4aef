#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>

// Cuts the incoming byte stream into frames: 'S', two digits, ';', then
// commands that each end with ';' (a ';' inside double quotes does not end one).
// Frames carry no terminator, so a frame is taken when its bytes end on a
// command boundary; an unfinished tail waits for more bytes and is dropped
// after a silence or when a new frame starts. A tail longer than any frame
// (noise that opened a frame and never ends it) is dropped, so what is kept
// stays bounded under a stream of noise.
class CSimFrameSplitter
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kTailTimeout{100};
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

    const QByteArray& Pending() const { return m_pending; }
    void Clear() { m_pending.clear(); }

private:
    QByteArray m_pending;
    Clock::time_point m_tLastInput{};
};
