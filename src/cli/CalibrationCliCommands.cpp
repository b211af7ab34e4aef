#include "cli/CalibrationCliCommands.h"

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "link/BusLink.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "params/CalibrateSequence.h"
#include "params/CalibrationChecks.h"
#include "params/CaptureSequence.h"
#include "params/LineariseSequence.h"
#include "params/ParamSetReadSequence.h"

#include <QTextStream>

#include <limits>

namespace {

// Acknowledged writes by name, one a line.
class CAcknowledgedSink : public CSequenceSink
{
public:
    explicit CAcknowledgedSink(QTextStream& out) : m_out(out) {}
    void OnAcknowledged(const char* pszMnemonic) override
    {
        m_out << pszMnemonic << "\n";
        m_out.flush();
    }

private:
    QTextStream& m_out;
};

} // namespace

CCalibrationCliCommands::CCalibrationCliCommands(CBusLink& link, QTextStream& out, QTextStream& err,
                                                 StopTest stop)
    : m_link(link), m_out(out), m_err(err), m_stop(std::move(stop))
{
}

int CCalibrationCliCommands::Usage(const QString& strError)
{
    m_err << CliOptions::UsageErrorLine(strError);
    return CCliCommands::kUsageError;
}

int CCalibrationCliCommands::Refuse(const QString& strError)
{
    m_err << "tolvex-cli: " << strError << "\n";
    return CCliCommands::kUsageError;
}

bool CCalibrationCliCommands::TakeArguments(const QStringList& arrArgs, int nMin,
                                            QStringList& arrPositional, int& nAddress,
                                            QString& strError)
{
    CCommandArgs args(arrArgs);
    m_bNoSetup = args.TakeFlag(QStringLiteral("--no-setup"));
    if (!args.TakePositional(-1, arrPositional, strError))
        return false;
    if (arrPositional.size() < nMin) {
        strError = QStringLiteral("too few arguments");
        return false;
    }
    if (!ParseInt(arrPositional[0], 0, 31, nAddress)) {
        strError =
            QStringLiteral("an address is a number from 0 to 31, not %1").arg(arrPositional[0]);
        return false;
    }
    return true;
}

bool CCalibrationCliCommands::TakeValue(const QString& strText, qint32& nValue, QString& strError)
{
    if (ParseInt(strText, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(),
                 nValue))
        return true;
    strError = QStringLiteral("not a 32-bit integer: %1").arg(strText);
    return false;
}

void CCalibrationCliCommands::SetUp(int nAddress)
{
    if (m_bNoSetup)
        return;
    for (const ModuleRequest& request :
         {CModuleCommand::BinaryOutput(nAddress, CModuleCommand::kShortTimeoutMs),
          CModuleCommand::Unlock(nAddress, CModuleCommand::kShortTimeoutMs)})
        m_link.Command(request.m_text, request.m_nTimeoutMs);
}

bool CCalibrationCliCommands::QueryValue(int nAddress, const char* pszMnemonic, qint32& nValue)
{
    const ModuleRequest query = CModuleCommand::Query(nAddress, pszMnemonic);
    QByteArray reply;
    if (m_link.Query(query.m_text, reply, query.m_nReplyLen, query.m_nTimeoutMs) &&
        !CModuleReply::IsUnsupported(reply) && CParamSetReadSequence::HasNumber(reply)) {
        nValue = CModuleReply::Atoi(reply);
        return true;
    }
    m_err << pszMnemonic << "?: no reply\n";
    return false;
}

int CCalibrationCliCommands::Finish(const CModuleWrite::Result& result)
{
    for (const CModuleWrite::Step& step : result.m_arrFailed)
        m_err << CModuleWrite::Describe(step) << "\n";
    return result.Succeeded() ? CCliCommands::kOk : CCliCommands::kFailed;
}

int CCalibrationCliCommands::Calibrate(const QStringList& arrArgs)
{
    QStringList arrPositional;
    int nAddress = 0;
    QString strError;
    if (!TakeArguments(arrArgs, 2, arrPositional, nAddress, strError))
        return Usage(strError);
    const QString strWhat = arrPositional[1];
    if (strWhat == QLatin1String("zero") || strWhat == QLatin1String("full")) {
        if (arrPositional.size() != 2)
            return Usage(QStringLiteral("calibrate ADDR %1 takes nothing more").arg(strWhat));
        const bool bFull = strWhat == QLatin1String("full");
        const char* pszName = CCaptureSequence::Mnemonic(bFull);
        SetUp(nAddress);
        const CCaptureSequence::Result result = CCaptureSequence(m_link).Run(nAddress, bFull);
        switch (result.m_outcome) {
        case CCaptureSequence::Outcome::Captured:
            m_out << pszName << "=" << result.m_nValue << "\n";
            return CCliCommands::kOk;
        case CCaptureSequence::Outcome::NoReply:
            m_err << pszName << ": no reply\n";
            break;
        case CCaptureSequence::Outcome::Refused:
            m_err << pszName << ": refused\n";
            break;
        case CCaptureSequence::Outcome::ReadBackFailed:
            m_err << pszName << "?: no reply\n";
            break;
        }
        return CCliCommands::kFailed;
    }
    if (strWhat != QLatin1String("points"))
        return Usage(QStringLiteral("calibrate takes zero, full or points, not %1").arg(strWhat));
    if (arrPositional.size() != 5)
        return Usage(QStringLiteral("calibrate ADDR points takes LDW LWT NOV"));
    qint32 nLdw = 0, nLwt = 0, nNov = 0;
    if (!TakeValue(arrPositional[2], nLdw, strError) ||
        !TakeValue(arrPositional[3], nLwt, strError) ||
        !TakeValue(arrPositional[4], nNov, strError))
        return Usage(strError);
    if (CCalibrationChecks::CheckPoints(nLdw, nLwt) != CCalibrationChecks::Refusal::None)
        return Refuse(QStringLiteral("LWT must be greater than LDW"));
    SetUp(nAddress);
    CAcknowledgedSink sink(m_out);
    return Finish(CCalibrateSequence(m_link, sink).WritePoints(nAddress, nLdw, nLwt, nNov, m_stop));
}

int CCalibrationCliCommands::Nominal(const QStringList& arrArgs)
{
    QStringList arrPositional;
    int nAddress = 0;
    QString strError;
    qint32 nNov = 0;
    if (!TakeArguments(arrArgs, 2, arrPositional, nAddress, strError))
        return Usage(strError);
    if (arrPositional.size() != 2)
        return Usage(QStringLiteral("nominal takes ADDR VALUE"));
    if (!TakeValue(arrPositional[1], nNov, strError))
        return Usage(strError);
    SetUp(nAddress);
    qint32 nLdw = 0, nLwt = 0;
    if (!QueryValue(nAddress, "LDW", nLdw) || !QueryValue(nAddress, "LWT", nLwt))
        return CCliCommands::kFailed;
    if (CCalibrationChecks::CheckNominal(nLdw, nLwt, nNov) != CCalibrationChecks::Refusal::None)
        return Refuse(QStringLiteral("|NOV| must not exceed |LWT-LDW|"));
    CAcknowledgedSink sink(m_out);
    return Finish(CCalibrateSequence(m_link, sink).WriteNominal(nAddress, nNov, m_stop));
}

int CCalibrationCliCommands::Linearise(const QStringList& arrArgs)
{
    QStringList arrPositional;
    int nAddress = 0;
    QString strError;
    if (!TakeArguments(arrArgs, 2, arrPositional, nAddress, strError))
        return Usage(strError);
    const QString strWhat = arrPositional[1];
    const QStringList arrValues = arrPositional.mid(2);
    QList<qint32> arrNumbers;
    for (const QString& strValue : arrValues) {
        qint32 nValue = 0;
        if (!TakeValue(strValue, nValue, strError))
            return Usage(strError);
        arrNumbers.append(nValue);
    }
    CAcknowledgedSink sink(m_out);
    CLineariseSequence sequence(m_link, sink);
    if (strWhat == QLatin1String("on") || strWhat == QLatin1String("off")) {
        if (!arrValues.isEmpty())
            return Usage(QStringLiteral("linearise ADDR %1 takes nothing more").arg(strWhat));
        SetUp(nAddress);
        return Finish(sequence.WriteEnable(nAddress, strWhat == QLatin1String("on") ? 1 : 0));
    }
    if (strWhat == QLatin1String("count")) {
        if (arrNumbers.size() != 1)
            return Usage(QStringLiteral("linearise ADDR count takes N"));
        if (!CCalibrationChecks::IsPointCount(arrNumbers[0]))
            return Usage(QStringLiteral("count must be 4 to 8"));
        SetUp(nAddress);
        return Finish(sequence.WriteCount(nAddress, arrNumbers[0]));
    }
    if (strWhat == QLatin1String("point")) {
        if (arrNumbers.size() != 2)
            return Usage(QStringLiteral("linearise ADDR point takes I VALUE"));
        if (!CCalibrationChecks::IsPointIndex(arrNumbers[0]))
            return Usage(QStringLiteral("index must be 0 to 7"));
        SetUp(nAddress);
        return Finish(sequence.WritePoint(nAddress, arrNumbers[0], arrNumbers[1]));
    }
    if (strWhat != QLatin1String("points"))
        return Usage(
            QStringLiteral("linearise takes on, off, count, point or points, not %1").arg(strWhat));
    if (!CCalibrationChecks::IsPointCount(int(arrNumbers.size())))
        return Usage(QStringLiteral("points takes 4 to 8 values"));
    SetUp(nAddress);
    CModuleWrite::Result result = sequence.WriteCount(nAddress, int(arrNumbers.size()));
    for (int i = 0; i < arrNumbers.size() && result.Succeeded(); ++i) {
        if (m_stop && m_stop())
            result.m_bStopped = true;
        else
            result = sequence.WritePoint(nAddress, i, arrNumbers[i]);
    }
    return Finish(result);
}
