#pragma once

#include "sim/SimBus.h"
#include "sim/SimLine.h"
#include "sim/SimOptions.h"

#include <QString>

#include <atomic>
#include <thread>

// Serves a simulated bus over TCP, as a serial device server in raw TCP mode
// would: one client at a time, the next one once it has gone.
class CTcpSimulator
{
public:
    explicit CTcpSimulator(const SimOptions& options = SimOptions());
    ~CTcpSimulator();

    CTcpSimulator(const CTcpSimulator&) = delete;
    CTcpSimulator& operator=(const CTcpSimulator&) = delete;

    // Listens on HOST:PORT (port 0: one the system picks) and serves on a
    // thread of its own. Returns the device text "tcp://HOST:PORT", empty on
    // failure (see ErrorText()).
    QString Start(const QString& strHost, quint16 nPort);
    // Stops serving and closes the client and the listening socket.
    void Stop();

    bool IsRunning() const { return m_bRunning.load(); }
    QString Device() const { return m_strDevice; }
    QString ErrorText() const { return m_strError; }
    CSimBus& Bus() { return m_bus; }
    void PowerCycle() { m_bus.PowerCycle(); }

private:
    void Serve();

    CSimBus m_bus;
    CSimLine m_line;
    int m_nListen = -1;
    QString m_strDevice;
    QString m_strError;
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
};
