#include "sim/SimTransport.h"

#include <QTimer>

#include <algorithm>

CSimTransport::CSimTransport(CSimBus& bus) : m_bus(bus) {}

BusTransportFactory CSimTransport::Factory(CSimBus& bus)
{
    return [&bus](const QString& strDevice) -> std::unique_ptr<CBusTransport> {
        if (strDevice != QLatin1String(kDevice))
            return nullptr;
        return std::make_unique<CSimTransport>(bus);
    };
}

bool CSimTransport::Open(const QString&, int, CPortOpenFailure&)
{
    m_bOpen = true;
    ++m_nGeneration;
    m_input.clear();
    return true;
}

QString CSimTransport::ApplyLineSettings(const ComSettings&)
{
    // The bus keeps the timing it was made with.
    return QString();
}

void CSimTransport::Close()
{
    m_bOpen = false;
    ++m_nGeneration;
    m_input.clear();
}

void CSimTransport::Write(const QByteArray& bytes)
{
    if (!m_bOpen)
        return;
    using namespace std::chrono;
    const CSimBus::Clock::time_point tArrived = CSimBus::Clock::now();
    for (const CSimBus::Reply& reply : m_bus.Feed(bytes, tArrived)) {
        const auto wait = duration_cast<CSimBus::Clock::duration>(
            duration<double, std::milli>(m_bus.ReplyWaitMs(reply)));
        CSimBus::Clock::time_point tWhen = std::max(tArrived + wait, m_tLineFree);
        if (!reply.m_noise.isEmpty())
            Deliver(reply.m_noise, tWhen);
        const QList<QByteArray> arrWrites = reply.Writes();
        for (qsizetype i = 0; i < arrWrites.size(); ++i) {
            if (i > 0)
                tWhen += milliseconds(reply.m_nSplitPauseMs);
            Deliver(arrWrites[i], tWhen);
        }
        m_tLineFree = tWhen;
    }
}

void CSimTransport::Deliver(const QByteArray& bytes, CSimBus::Clock::time_point tWhen)
{
    using namespace std::chrono;
    const auto delay = duration_cast<milliseconds>(tWhen - CSimBus::Clock::now());
    const quint64 nGeneration = m_nGeneration;
    QTimer::singleShot(std::max<milliseconds>(delay, milliseconds(0)), Qt::PreciseTimer, this,
                       [this, bytes, nGeneration] {
                           if (nGeneration != m_nGeneration)
                               return;
                           m_input += bytes;
                           Q_EMIT ReadyRead();
                       });
}

QByteArray CSimTransport::ReadAll()
{
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}
