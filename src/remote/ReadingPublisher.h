#pragma once

#include "link/ReadingTap.h"
#include "remote/MqttPublisher.h"

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <mutex>

struct ComSettings;

// Turns readings, patrol cycles and the bus state into the published topics:
//   PREFIX/ad/ADDR/value  {"addr","seq","raw","value","unit","time","source"}
//   PREFIX/ad/ADDR/error  {"addr","seq","reason","time","source"}
//   PREFIX/patrol/cycle   {"ms","last","time"}
//   PREFIX/bus            retained {"device","baud","parity","data_bits","stop_bits","open"}
// seq counts per address from 1 since Start, over values and errors alike,
// and is never reset by a reconnection: a subscriber sees every gap.
class CReadingPublisher : public CReadingSink
{
public:
    static constexpr int kAddresses = 100;

    void Start(const MqttSettings& settings);
    quint64 Stop(int nFlushMs) { return m_publisher.Stop(nFlushMs); }
    CMqttPublisher& Publisher() { return m_publisher; }

    void OnReading(const MeasuredReading& reading) override;
    void OnPatrolCycle(qint64 nElapsedMs, int nMaxAddress) override;
    void PublishBus(const QString& strDevice, const ComSettings& settings, bool bOpen);

    // Local time with its offset and milliseconds: 2026-12-08T16:21:05.123+08:00.
    static QByteArray TimeText(const QDateTime& tLocal);
    static QByteArray Quoted(const QString& strText);

private:
    CMqttPublisher m_publisher;
    std::mutex m_mutex; // numbers a message and queues it in one step
    std::array<quint64, kAddresses> m_arrSeq{};
};
