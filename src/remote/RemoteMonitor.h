#pragma once

#include "remote/MqttPublisher.h"
#include "remote/MqttSettings.h"
#include "settings/ComSettings.h"

#include <QObject>

#include <memory>
#include <mutex>

class CBusLink;
class CReadingPublisher;

// Remote monitoring of one bus: while started, every reading taken through the
// link, every patrol cycle and every change of the bus port is published.
// Belongs to the session, so it outlives the pages that read.
class CRemoteMonitor : public QObject
{
    Q_OBJECT
public:
    explicit CRemoteMonitor(CBusLink& link, QObject* parent = nullptr);
    ~CRemoteMonitor() override;

    // Starts publishing with settings that passed Check(); restarts when running.
    void Start(const MqttSettings& settings);
    // Publishes "offline", flushes for at most nFlushMs and disconnects.
    // Returns the messages not delivered.
    quint64 Stop(int nFlushMs = 2000);
    bool IsRunning() const;

    CMqttPublisher::Status GetStatus() const;
    // Called on the publisher's thread at each change of state.
    void SetStateListener(CMqttPublisher::StateListener listener);

private:
    void PublishBus();

    CBusLink& m_link;
    std::shared_ptr<CReadingPublisher> m_pPublisher;
    std::mutex m_busMutex;
    ComSettings m_busSettings; // as last opened or closed
};
