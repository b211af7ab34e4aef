#pragma once

#include "sim/SimBus.h"
#include "sim/SimLine.h"
#include "sim/SimOptions.h"

#include <QString>

#include <atomic>
#include <thread>

// Serves a simulated bus on a pseudo-terminal: the tool opens SlavePath() as
// its serial port. The simulator keeps one slave descriptor open itself, so
// the tool may close and reopen the device freely; Stop() closes the master,
// after which the device is gone for anyone who still holds it.
class CPtySimulator
{
public:
    explicit CPtySimulator(const SimOptions& options = SimOptions());
    ~CPtySimulator();

    CPtySimulator(const CPtySimulator&) = delete;
    CPtySimulator& operator=(const CPtySimulator&) = delete;

    // Opens the pseudo-terminal and starts serving on its own thread. With a
    // link path, a symbolic link to the slave is made there (an existing one is
    // replaced). Returns the slave path, empty on failure (see ErrorText()).
    QString Start(const QString& strLinkPath = QString());
    // Stops serving, closes the pseudo-terminal and removes the link.
    void Stop();

    bool IsRunning() const { return m_bRunning.load(); }
    QString SlavePath() const { return m_strSlavePath; }
    QString LinkPath() const { return m_strLinkPath; }
    QString ErrorText() const { return m_strError; }

    // Faults can be changed while serving.
    void SetFaults(const SimFaults& faults) { m_bus.SetFaults(faults); }
    void PowerCycle() { m_bus.PowerCycle(); }
    CSimBus& Bus() { return m_bus; }

private:
    CSimBus m_bus;
    CSimLine m_line;
    int m_nMaster = -1;
    int m_nSlave = -1;
    QString m_strSlavePath;
    QString m_strLinkPath;
    QString m_strError;
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
};
