#include "multi/PatrolWorker.h"

#include "link/PostedCall.h"
#include "recording/PatrolRecorder.h"

CPatrolWorker::CPatrolWorker(CBusLink& link, CPatrolRecorder& recorder, QObject* parent)
    : QObject(parent), m_sequence(link, m_thread), m_thread([this] { m_sequence.Run(0); })
{
    m_sequence.SetObserver(this);
    m_sequence.Poll().SetSource(QStringLiteral("patrol"));
    m_sequence.SetRecorder(&recorder);
}

void CPatrolWorker::OnAddress(int nAddress)
{
    CPostedCall::Post(this, [this, nAddress] { Q_EMIT AddressStarted(nAddress); });
}

void CPatrolWorker::OnRead(int nAddress, bool bOk, qint32 nValue)
{
    CPostedCall::Post(this,
                      [this, nAddress, bOk, nValue] { Q_EMIT ReadDone(nAddress, bOk, nValue); });
}

void CPatrolWorker::OnCycle(int, qint64 nElapsedMs)
{
    CPostedCall::Post(this, [this, nElapsedMs] { Q_EMIT CycleDone(nElapsedMs); });
}
