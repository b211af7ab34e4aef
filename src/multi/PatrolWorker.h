#pragma once

#include "link/WorkerThread.h"
#include "multi/PatrolObserver.h"
#include "multi/PatrolSequence.h"

#include <QObject>

class CBusLink;
class CPatrolRecorder;

// The multi-module page's one worker thread around a patrol sequence. It
// never touches a widget: what it reads is posted to this object's thread
// and emitted there.
class CPatrolWorker : public QObject, private CPatrolObserver
{
    Q_OBJECT
public:
    CPatrolWorker(CBusLink& link, CPatrolRecorder& recorder, QObject* parent = nullptr);

    CPatrolSequence& Sequence() { return m_sequence; }

    // UI thread: an endless patrol, from its set-up pass; a patrol that is
    // still ending goes on instead.
    void Start() { m_thread.Start(); }
    // Any thread: the patrol ends before its next transaction.
    void RequestStop() { m_thread.RequestStop(); }
    // Asks to stop and waits for the thread (at most one transaction).
    void StopAndJoin() { m_thread.StopAndJoin(); }

    bool IsRunning() const { return m_thread.IsRunning(); }
    bool IsStopRequested() const { return m_thread.StopRequested(); }

Q_SIGNALS:
    void AddressStarted(int nAddress);
    void ReadDone(int nAddress, bool bOk, qint32 nValue);
    void CycleDone(qint64 nElapsedMs);

private:
    void OnAddress(int nAddress) override;
    void OnRead(int nAddress, bool bOk, qint32 nValue) override;
    void OnCycle(int nCycle, qint64 nElapsedMs) override;

    CPatrolSequence m_sequence;
    CWorkerThread m_thread; // last: stopped and joined before the rest goes
};
