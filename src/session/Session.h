#pragma once

#include "settings/ComSettings.h"
#include "settings/ParamsManager.h"
#include "settings/PlotSettings.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"
#include "sim/SimOptions.h"

#include <QList>
#include <QString>

#include <memory>

class CBusLink;
class CPtySimulator;
class CRemoteMonitor;

// What one run of the tool works with: the bus link and its port settings,
// the curve settings, the settings file they are stored in, the port map, and
// the device that serves the COM number in use for this run only (the
// simulator of --simulate, or a device given on the command line).
class CSession
{
public:
    explicit CSession(const QString& strSettingsFile = CParamsManager::DefaultSettingsFile());
    ~CSession();

    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    CBusLink& BusLink() { return *m_pLink; }
    // The port settings the bus opens with; they live in the link.
    ComSettings& PortSettings();
    const ComSettings& PortSettings() const;
    const PlotSettings& GetPlotSettings() const { return m_plotSettings; }

    // Reads both stored records; a record that cannot be read keeps its
    // current value, which is written back.
    void LoadSettings();
    // The same without writing anything.
    void LoadSettingsReadOnly();
    // Stores the port settings and the device picked for their COM number, then
    // reopens the port; a failed open is not reported. A device picked for the
    // number served for this run replaces that device for the run and is not stored.
    void ChangePort(const ComSettings& settings, const QString& strDevice);
    bool ChangePlotSettings(const PlotSettings& settings);

    // From now on the COM number in use is served by this device, for this run
    // only: nothing of it is stored.
    void ServeForRun(const QString& strDevice);
    // Starts simulated modules on a pseudo-terminal and serves the COM number in
    // use by it. False with the reason in strError when it cannot start.
    bool StartSimulator(const SimOptions& options, QString& strError);
    CPtySimulator* Simulator() const { return m_pSimulator.get(); }
    // The simulated modules' addresses, ascending; empty without a simulator.
    QList<int> SimulatedAddresses() const;

    // The device COM<nPort> opens: the one served for this run, else the map.
    QString DeviceFor(int nPort) const;

    const CSettingsStore& SettingsStore() const { return m_settingsStore; }
    QString SettingsFile() const { return m_strSettingsFile; }
    // Publishing of this run's readings to a broker; it outlives every page.
    CRemoteMonitor& Remote() { return *m_pRemote; }
    const CPortMap& PortMap() const { return m_portMap; }

private:
    QString m_strSettingsFile;
    CSettingsStore m_settingsStore;
    CPortMap m_portMap;
    PlotSettings m_plotSettings;
    QString m_strRunDevice;
    int m_nRunPort = 0;
    QList<int> m_arrSimAddresses;
    // The simulator outlives the link, so the port closes before its device goes.
    std::unique_ptr<CPtySimulator> m_pSimulator;
    std::unique_ptr<CBusLink> m_pLink;
    // Goes first: the last readings are flushed while the link still stands.
    std::unique_ptr<CRemoteMonitor> m_pRemote;
};
