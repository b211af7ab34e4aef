#include "params/CalibrationChecks.h"

#include <cstdlib>

CCalibrationChecks::Refusal CCalibrationChecks::CheckPoints(std::optional<qint32> nLdw,
                                                            std::optional<qint32> nLwt)
{
    if (!nLdw)
        return Refusal::LdwEmpty;
    if (!nLwt)
        return Refusal::LwtEmpty;
    return *nLwt > *nLdw ? Refusal::None : Refusal::LwtNotAboveLdw;
}

CCalibrationChecks::Refusal CCalibrationChecks::CheckNominal(qint32 nLdw, qint32 nLwt, qint32 nNov)
{
    const qint64 nSpan = std::llabs(qint64(nLwt) - qint64(nLdw));
    return std::llabs(qint64(nNov)) > nSpan ? Refusal::NominalTooLarge : Refusal::None;
}

QString CCalibrationChecks::Text(Refusal refusal)
{
    switch (refusal) {
    case Refusal::LdwEmpty:
        return QStringLiteral("LDW不能为空!");
    case Refusal::LwtEmpty:
        return QStringLiteral("LWT不能为空!");
    case Refusal::LwtNotAboveLdw:
        return QStringLiteral("LWT不能小于LDW!");
    case Refusal::NominalTooLarge:
        return QStringLiteral("NOV不能大于|LWT-LDW|!");
    case Refusal::None:
        break;
    }
    return QString();
}

bool CCalibrationChecks::ParseField(const QString& strText, std::optional<qint32>& nValue)
{
    const QString strTrimmed = strText.trimmed();
    nValue.reset();
    if (strTrimmed.isEmpty())
        return true;
    const qsizetype nStart =
        (strTrimmed[0] == QLatin1Char('-') || strTrimmed[0] == QLatin1Char('+'));
    if (nStart == strTrimmed.size())
        return false;
    for (qsizetype i = nStart; i < strTrimmed.size(); ++i)
        if (strTrimmed[i] < QLatin1Char('0') || strTrimmed[i] > QLatin1Char('9'))
            return false;
    bool bOk = false;
    const qint32 n = strTrimmed.toInt(&bOk);
    if (!bOk)
        return false;
    nValue = n;
    return true;
}
