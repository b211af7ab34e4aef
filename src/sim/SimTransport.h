#pragma once

#include "link/BusTransport.h"
#include "sim/SimBus.h"

#include <QByteArray>

// The bus link's transport onto a simulated bus in this process: what the
// link writes goes into the bus, and the replies come back as the bus's
// options say (line timing, turnaround, faults), through the I/O thread's
// timers. No pseudo-terminal and no thread of its own.
//
// It sits here, above the link's transport interface, so that the link never
// knows the simulator: a program registers Factory() with its link.
class CSimTransport : public CBusTransport
{
    Q_OBJECT
public:
    // The device text of the in-process bus.
    static constexpr const char* kDevice = "sim:";

    explicit CSimTransport(CSimBus& bus);

    // Serves kDevice with a transport over bus, which must outlive the link.
    static BusTransportFactory Factory(CSimBus& bus);

    bool Open(const QString& strDevice, int nWaitMs, CPortOpenFailure& failure) override;
    QString ApplyLineSettings(const ComSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return m_bOpen; }
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    void Clear() override { m_input.clear(); }
    qint64 BytesToWrite() const override { return 0; }

private:
    void Deliver(const QByteArray& bytes, CSimBus::Clock::time_point tWhen);

    CSimBus& m_bus;
    bool m_bOpen = false;
    // Replies scheduled before a close are dropped: each open is a new line.
    quint64 m_nGeneration = 0;
    // When the line is free again: a reply waits for the one before it.
    CSimBus::Clock::time_point m_tLineFree;
    QByteArray m_input;
};
