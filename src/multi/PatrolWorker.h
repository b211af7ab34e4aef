#pragma once

#include "multi/PatrolObserver.h"
#include "multi/PatrolSequence.h"

#include <QObject>

#include <atomic>
#include <thread>

class CBusLink;
class CPatrolRecorder;

// The multi-module page's one worker thread around a patrol sequence. It
// never touches a widget: what it reads reaches the page as queued signals.
class CPatrolWorker : public QObject, private CPatrolObserver
{
    Q_OBJECT
public:
    CPatrolWorker(CBusLink& link, CPatrolRecorder& recorder, QObject* parent = nullptr);
    ~CPatrolWorker() override;

    CPatrolSequence& Sequence() { return m_sequence; }

    // UI thread. Sets running and clears stop, then starts an endless patrol.
    // False while the previous run has not ended yet.
    bool Start();
    // Any thread: the patrol ends before its next transaction.
    void RequestStop() { m_bStop.store(true); }
    // Asks to stop and waits for the thread (at most one transaction).
    void StopAndJoin();

    bool IsRunning() const { return m_bRunning.load(); }
    bool IsStopRequested() const { return m_bStop.load(); }

Q_SIGNALS:
    void AddressStarted(int nAddress);
    void ReadDone(int nAddress, bool bOk, qint32 nValue);
    void CycleDone(qint64 nElapsedMs);
    // The thread has ended (queued to the page).
    void Ended();

private:
    void OnAddress(int nAddress) override;
    void OnRead(int nAddress, bool bOk, qint32 nValue) override;
    void OnCycle(int nCycle, qint64 nElapsedMs) override;

    std::atomic<bool> m_bStop{true};
    std::atomic<bool> m_bRunning{false};
    CPatrolSequence m_sequence;
    std::thread m_thread;
};
