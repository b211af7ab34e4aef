#include "remote/ReadingPublisher.h"

#include "settings/ComSettings.h"

#include <QJsonArray>
#include <QJsonDocument>

QByteArray CReadingPublisher::TimeText(const QDateTime& tLocal)
{
    const int nOffset = tLocal.offsetFromUtc();
    const int nMinutes = qAbs(nOffset) / 60;
    return (tLocal.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
            QString::asprintf("%c%02d:%02d", nOffset < 0 ? '-' : '+', nMinutes / 60, nMinutes % 60))
        .toUtf8();
}

QByteArray CReadingPublisher::Quoted(const QString& strText)
{
    const QByteArray array = QJsonDocument(QJsonArray{strText}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

void CReadingPublisher::Start(const MqttSettings& settings)
{
    const std::lock_guard lock(m_mutex);
    m_arrSeq.fill(0);
    m_publisher.Start(settings);
}

void CReadingPublisher::OnReading(const MeasuredReading& reading)
{
    if (reading.m_nAddress < 0 || reading.m_nAddress >= kAddresses)
        return;
    const QByteArray time = TimeText(QDateTime::currentDateTime());
    const QByteArray addr = QByteArray::number(reading.m_nAddress);
    const std::lock_guard lock(m_mutex);
    QByteArray payload =
        "{\"addr\":" + addr + ",\"seq\":" + QByteArray::number(++m_arrSeq[reading.m_nAddress]);
    if (reading.m_bOk) {
        payload += ",\"raw\":" + QByteArray::number(reading.m_nRaw);
        if (!reading.m_strValue.isEmpty())
            payload += ",\"value\":" + Quoted(reading.m_strValue) +
                       ",\"unit\":" + Quoted(reading.m_strUnit);
    } else {
        payload += ",\"reason\":" + Quoted(reading.m_strReason);
    }
    payload += ",\"time\":\"" + time + "\",\"source\":" + Quoted(reading.m_strSource) + '}';
    m_publisher.Publish(QStringLiteral("ad/%1/%2")
                            .arg(reading.m_nAddress)
                            .arg(reading.m_bOk ? QStringLiteral("value") : QStringLiteral("error")),
                        payload, false);
}

void CReadingPublisher::OnPatrolCycle(qint64 nElapsedMs, int nMaxAddress)
{
    m_publisher.Publish(QStringLiteral("patrol/cycle"),
                        "{\"ms\":" + QByteArray::number(nElapsedMs) +
                            ",\"last\":" + QByteArray::number(nMaxAddress) + ",\"time\":\"" +
                            TimeText(QDateTime::currentDateTime()) + "\"}",
                        false);
}

void CReadingPublisher::PublishBus(const QString& strDevice, const ComSettings& settings,
                                   bool bOpen)
{
    m_publisher.Publish(QStringLiteral("bus"),
                        "{\"device\":" + Quoted(strDevice) +
                            ",\"baud\":" + QByteArray::number(settings.m_nBaud) + ",\"parity\":\"" +
                            QByteArray(1, char(settings.ParityLetter())) +
                            "\",\"data_bits\":" + QByteArray::number(settings.m_nDataBits) +
                            ",\"stop_bits\":" + QByteArray::number(settings.m_nStopBits) +
                            ",\"open\":" + (bOpen ? "true" : "false") + '}',
                        true);
}
