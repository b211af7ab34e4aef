#pragma once

#include "link/RunControl.h"

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The one shape of a page's worker: a thread that runs its body until asked to
// stop, a stop word, a request word, and a wait that a stop or a request wakes.
//
// Start on a worker that is still ending (stop asked, body not yet returned)
// takes the stop back: the body runs again once it has returned, so a page
// shown again at once, or a request posted while the loop ends, is never lost.
// The destructor stops and joins; the owner declares it after everything the
// body uses, so that it is destroyed first.
class CWorkerThread final : public CRunControl
{
public:
    using Body = std::function<void()>;

    explicit CWorkerThread(Body body);
    ~CWorkerThread() override;

    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the thread, or keeps the ending one going.
    void Start();
    // The body ends at its next stop test; returns at once.
    void RequestStop();
    // Asks to stop and waits for the thread (at most one transaction).
    void StopAndJoin();
    bool IsRunning() const { return m_bRunning.load(); }

    // A request for the body (never 0, which is the empty word); it replaces
    // one not yet taken and wakes the wait. Start it yourself if needed.
    void PostRequest(quint32 nRequest);
    // The request posted last, or 0; the word is empty afterwards.
    quint32 TakeRequest() { return m_nRequest.exchange(0); }

    bool StopRequested() const override { return m_bStop.load(); }
    // The word a blocking message box gives up on.
    const std::atomic<bool>& StopWord() const { return m_bStop; }
    void Wait(int nMs) override;

private:
    void Main();

    Body m_body;
    std::mutex m_mutex; // start and end of the thread, and the wait
    std::condition_variable m_wake;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRunning{false};
    std::atomic<quint32> m_nRequest{0};
    std::thread m_thread;
};
