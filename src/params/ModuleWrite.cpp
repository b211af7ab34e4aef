#include "params/ModuleWrite.h"

#include "link/BusLink.h"
#include "module/ModuleReply.h"

QString CModuleWrite::Result::FailureText() const
{
    if (m_arrFailed.isEmpty())
        return QString();
    QStringList arrNames;
    for (const Step& step : m_arrFailed)
        arrNames.append(QString::fromLatin1(step.m_name));
    return QStringLiteral("写入失败: %1").arg(arrNames.join(QLatin1Char(' ')));
}

CModuleWrite::Outcome CModuleWrite::Send(CBusLink& link, const ModuleRequest& request)
{
    QByteArray reply;
    if (link.Command(request.m_text, request.m_nTimeoutMs, true, &reply))
        return Outcome::Acknowledged;
    if (reply.isEmpty())
        return Outcome::NoReply;
    return CModuleReply::IsUnsupported(reply) ? Outcome::Refused : Outcome::NotAcknowledged;
}

QString CModuleWrite::Describe(const Step& step)
{
    const QString strName = QString::fromLatin1(step.m_name);
    switch (step.m_outcome) {
    case Outcome::Refused:
        return strName + QStringLiteral(": refused");
    case Outcome::NoReply:
        return strName + QStringLiteral(": no reply");
    case Outcome::NotAcknowledged:
    case Outcome::Acknowledged:
        break;
    }
    return strName + QStringLiteral(": not acknowledged");
}
