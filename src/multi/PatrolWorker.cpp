#include "multi/PatrolWorker.h"

#include "recording/PatrolRecorder.h"

CPatrolWorker::CPatrolWorker(CBusLink& link, CPatrolRecorder& recorder, QObject* parent)
    : QObject(parent), m_sequence(link, m_bStop)
{
    m_sequence.SetObserver(this);
    m_sequence.SetRecorder(&recorder);
}

CPatrolWorker::~CPatrolWorker()
{
    StopAndJoin();
}

bool CPatrolWorker::Start()
{
    if (m_bRunning.load())
        return false;
    if (m_thread.joinable())
        m_thread.join();
    // Set here, before the thread exists: a hide right after this show is
    // never undone by the thread starting late.
    m_bRunning.store(true);
    m_bStop.store(false);
    m_thread = std::thread([this] {
        m_sequence.Run(0);
        m_bRunning.store(false);
        Q_EMIT Ended();
    });
    return true;
}

void CPatrolWorker::StopAndJoin()
{
    RequestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void CPatrolWorker::OnAddress(int nAddress)
{
    Q_EMIT AddressStarted(nAddress);
}

void CPatrolWorker::OnRead(int nAddress, bool bOk, qint32 nValue)
{
    Q_EMIT ReadDone(nAddress, bOk, nValue);
}

void CPatrolWorker::OnCycle(int, qint64 nElapsedMs)
{
    Q_EMIT CycleDone(nElapsedMs);
}
