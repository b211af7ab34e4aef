#include "link/WorkerThread.h"

#include <chrono>

CWorkerThread::CWorkerThread(Body body) : m_body(std::move(body)) {}

CWorkerThread::~CWorkerThread()
{
    StopAndJoin();
}

void CWorkerThread::Start()
{
    std::lock_guard lock(m_mutex);
    m_bStop = false;
    if (m_bRunning)
        return; // the loop in Main sees the stop taken back
    if (m_thread.joinable())
        m_thread.join(); // it has left its loop already
    m_bRunning = true;
    m_thread = std::thread(&CWorkerThread::Main, this);
}

void CWorkerThread::RequestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
}

void CWorkerThread::StopAndJoin()
{
    RequestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void CWorkerThread::PostRequest(quint32 nRequest)
{
    {
        std::lock_guard lock(m_mutex);
        m_nRequest = nRequest;
    }
    m_wake.notify_all();
}

void CWorkerThread::Wait(int nMs)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(nMs),
                    [this] { return m_bStop.load() || m_nRequest.load() != 0; });
}

void CWorkerThread::Main()
{
    for (;;) {
        m_body();
        // A Start while the body was ending took the stop back under this lock.
        std::lock_guard lock(m_mutex);
        if (m_bStop) {
            m_bRunning = false;
            return;
        }
    }
}
