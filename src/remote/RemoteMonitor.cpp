#include "remote/RemoteMonitor.h"

#include "link/BusLink.h"
#include "remote/ReadingPublisher.h"

CRemoteMonitor::CRemoteMonitor(CBusLink& link, QObject* parent)
    : QObject(parent), m_link(link), m_pPublisher(std::make_shared<CReadingPublisher>()),
      m_busSettings(link.m_comSettings)
{
    // Opened and closed on the caller's thread, which owns the settings; lost
    // and back again on the I/O thread, with the settings of the last open.
    connect(
        &link, &CBusLink::PortStateChanged, this,
        [this] {
            {
                const std::lock_guard lock(m_busMutex);
                m_busSettings = m_link.m_comSettings;
            }
            PublishBus();
        },
        Qt::DirectConnection);
    connect(
        &link, &CBusLink::PortLost, this, [this] { PublishBus(); }, Qt::DirectConnection);
    connect(
        &link, &CBusLink::PortReconnected, this, [this] { PublishBus(); }, Qt::DirectConnection);
}

CRemoteMonitor::~CRemoteMonitor()
{
    // The link calls in on its I/O thread, which goes on after this monitor.
    disconnect(&m_link, nullptr, this, nullptr);
    m_link.AwaitIoThread();
    Stop();
}

void CRemoteMonitor::Start(const MqttSettings& settings)
{
    m_link.Readings().SetSink(nullptr);
    m_pPublisher->Start(settings);
    m_link.Readings().SetSink(m_pPublisher);
    PublishBus();
}

quint64 CRemoteMonitor::Stop(int nFlushMs)
{
    m_link.Readings().SetSink(nullptr);
    return m_pPublisher->Stop(nFlushMs);
}

bool CRemoteMonitor::IsRunning() const
{
    return m_pPublisher->Publisher().IsRunning();
}

CMqttPublisher::Status CRemoteMonitor::GetStatus() const
{
    return m_pPublisher->Publisher().GetStatus();
}

void CRemoteMonitor::SetStateListener(CMqttPublisher::StateListener listener)
{
    m_pPublisher->Publisher().SetStateListener(std::move(listener));
}

void CRemoteMonitor::PublishBus()
{
    ComSettings settings;
    {
        const std::lock_guard lock(m_busMutex);
        settings = m_busSettings;
    }
    m_pPublisher->PublishBus(m_link.OpenDevice(), settings, m_link.IsPortOpen());
}
