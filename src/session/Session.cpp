#include "session/Session.h"

#include "link/BusLink.h"
#include "remote/RemoteMonitor.h"
#include "sim/PtySimulator.h"

#include <algorithm>

CSession::CSession(const QString& strSettingsFile)
    : m_strSettingsFile(strSettingsFile), m_settingsStore(strSettingsFile),
      m_portMap(strSettingsFile), m_pLink(std::make_unique<CBusLink>()),
      m_pRemote(std::make_unique<CRemoteMonitor>(*m_pLink))
{
    m_pLink->SetDeviceResolver([this](int nPort) { return DeviceFor(nPort); });
}

CSession::~CSession() = default;

ComSettings& CSession::PortSettings()
{
    return m_pLink->m_comSettings;
}

const ComSettings& CSession::PortSettings() const
{
    return m_pLink->m_comSettings;
}

void CSession::LoadSettings()
{
    m_settingsStore.Load(PortSettings(), m_plotSettings);
    m_nRunPort = PortSettings().m_nPort;
}

void CSession::LoadSettingsReadOnly()
{
    m_settingsStore.LoadReadOnly(PortSettings(), m_plotSettings);
    m_nRunPort = PortSettings().m_nPort;
}

void CSession::ChangePort(const ComSettings& settings, const QString& strDevice)
{
    PortSettings() = settings;
    const bool bServedForRun = !m_strRunDevice.isEmpty() && settings.m_nPort == m_nRunPort;
    if (!bServedForRun || strDevice != m_strRunDevice) {
        if (bServedForRun)
            m_strRunDevice.clear();
        m_portMap.SetDevice(settings.m_nPort, strDevice);
    }
    m_pLink->OpenPort(settings);
    m_settingsStore.SaveComSettings(settings);
}

bool CSession::ChangePlotSettings(const PlotSettings& settings)
{
    m_plotSettings = settings;
    return m_settingsStore.SavePlotSettings(settings);
}

void CSession::ServeForRun(const QString& strDevice)
{
    m_strRunDevice = strDevice;
    m_nRunPort = PortSettings().m_nPort;
}

bool CSession::StartSimulator(const SimOptions& options, QString& strError)
{
    auto pSimulator = std::make_unique<CPtySimulator>(options);
    const QString strDevice = pSimulator->Start();
    if (strDevice.isEmpty()) {
        strError = QStringLiteral("cannot start the simulator: ") + pSimulator->ErrorText();
        return false;
    }
    m_pSimulator = std::move(pSimulator);
    m_arrSimAddresses = options.m_arrAddresses;
    std::sort(m_arrSimAddresses.begin(), m_arrSimAddresses.end());
    ServeForRun(strDevice);
    return true;
}

QList<int> CSession::SimulatedAddresses() const
{
    return m_arrSimAddresses;
}

QString CSession::DeviceFor(int nPort) const
{
    if (!m_strRunDevice.isEmpty() && nPort == m_nRunPort)
        return m_strRunDevice;
    return m_portMap.DeviceFor(nPort);
}
