#pragma once

#include "sim/SimBus.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

// Serves a simulated bus on a descriptor (a pseudo-terminal's master, a TCP
// connection): reads what the tool sends and writes the replies at the pace
// the bus's options give. Stop() ends a Serve() from any thread.
class CSimLine
{
public:
    explicit CSimLine(CSimBus& bus);
    ~CSimLine();

    CSimLine(const CSimLine&) = delete;
    CSimLine& operator=(const CSimLine&) = delete;

    // The wake-up pipe; false (with errno) when it cannot be made.
    bool Init();
    enum class End
    {
        Stopped,
        Closed, // the other end went away (only when bEndOnHangUp)
    };
    // Serves fd until Stop(), or until the other end closes when bEndOnHangUp;
    // otherwise a hang-up is waited out (a pseudo-terminal whose slave is
    // closed and opened again).
    End Serve(int fd, bool bEndOnHangUp);
    // Waits for fd to become readable (an accept); false when stopped.
    bool WaitReadable(int fd);
    void Stop();
    // Clears a stop, so that Serve() can run again.
    void Reset();
    bool Stopped() const { return m_bStop.load(); }

private:
    void Answer(int fd, const CSimBus::Reply& reply, CSimBus::Clock::time_point tArrived);
    bool WaitUntil(CSimBus::Clock::time_point tWhen);
    void WriteAll(int fd, const QByteArray& bytes);

    CSimBus& m_bus;
    // A frame came in while a reply was still to go out: the tool had given up
    // on that reply. On a real bus the addressed module answers that frame at
    // once and both replies collide; here the frame's reply is dropped, rather
    // than sent one frame behind for as long as the tool keeps pace.
    bool m_bCollided = false;
    int m_arrWake[2] = {-1, -1};
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutexStop;
    std::condition_variable m_cvStop;
};
