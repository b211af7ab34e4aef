#include "cli/ParamCliCommands.h"

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "link/BusLink.h"
#include "module/GbkCodec.h"
#include "module/ModuleCommand.h"
#include "module/ModuleParamRecord.h"
#include "module/ModuleReply.h"
#include "module/ParameterTable.h"
#include "params/AddressChangeSequence.h"
#include "params/BusScanSequence.h"
#include "params/ParamFile.h"
#include "params/ParamSaveSequence.h"
#include "params/ParamSetReadSequence.h"

#include <QFileInfo>
#include <QTextStream>

#include <limits>

namespace {

// Prints what a sequence reports the way the command line shows it: values as
// NAME=VALUE, found addresses one a line, acknowledged steps by name on
// stdout; refusals on stderr.
class CPrintSink : public CSequenceSink
{
public:
    CPrintSink(QTextStream& out, QTextStream& err, bool bPrintAcknowledged = true)
        : m_out(out), m_err(err), m_bPrintAcknowledged(bPrintAcknowledged)
    {
    }

    void OnValue(const char* pszMnemonic, qint32 nValue) override
    {
        m_out << pszMnemonic << "=" << nValue << "\n";
        m_out.flush();
    }
    void OnUnsupported(const char* pszMnemonic) override
    {
        m_err << "tolvex-cli: " << pszMnemonic << " not supported by this module\n";
        m_err.flush();
    }
    void OnIdentification(const QByteArray& text) override
    {
        QByteArray line = text;
        if (line.endsWith("\r\n"))
            line.chop(2);
        m_out << "IDN=" << CGbkCodec::Decode(line) << "\n";
        m_out.flush();
    }
    void OnAcknowledged(const char* pszMnemonic) override
    {
        if (!m_bPrintAcknowledged)
            return;
        m_out << pszMnemonic << "\n";
        m_out.flush();
    }
    void OnNotAcknowledged(const char* pszMnemonic) override
    {
        m_err << pszMnemonic << ": not acknowledged\n";
        m_err.flush();
    }
    void OnAddressFound(int nAddress) override
    {
        m_out << nAddress << "\n";
        m_out.flush();
    }

private:
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_bPrintAcknowledged;
};

// A decimal 32-bit integer with an optional minus sign, nothing else.
bool ParseValue(const QString& strText, qint32& nValue)
{
    return ParseInt(strText, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                    nValue);
}

} // namespace

CParamCliCommands::CParamCliCommands(CBusLink& link, QTextStream& out, QTextStream& err,
                                     StopTest stop)
    : m_link(link), m_out(out), m_err(err), m_stop(std::move(stop))
{
}

int CParamCliCommands::Usage(const QString& strError)
{
    m_err << CliOptions::UsageErrorLine(strError);
    return CCliCommands::kUsageError;
}

bool CParamCliCommands::TakeAddress(const QString& strText, int& nAddress, QString& strError)
{
    if (ParseInt(strText, 0, CBusScanSequence::kLastAddress, nAddress))
        return true;
    strError = QStringLiteral("an address is a number from 0 to 31, not %1").arg(strText);
    return false;
}

bool CParamCliCommands::TakeAddressAndFile(CCommandArgs& args, int& nAddress, QString& strPath,
                                           QString& strError)
{
    QStringList arrPositional;
    if (!args.TakePositional(2, arrPositional, strError) ||
        !TakeAddress(arrPositional[0], nAddress, strError))
        return false;
    strPath = arrPositional[1];
    return true;
}

int CParamCliCommands::Scan(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    int nLast = CBusScanSequence::kLastAddress;
    QStringList arrRest;
    if (!args.TakeInt({QStringLiteral("--last")}, 0, CBusScanSequence::kLastAddress, nLast,
                      strError) ||
        !args.TakePositional(0, arrRest, strError))
        return Usage(strError);
    CPrintSink sink(m_out, m_err);
    const CBusScanSequence::Result result =
        CBusScanSequence(m_link, sink).Run(nLast, nullptr, m_stop);
    return result.m_arrFound.isEmpty() ? CCliCommands::kFailed : CCliCommands::kOk;
}

bool CParamCliCommands::ReadInto(int nAddress, ModuleParamRecord& record)
{
    CPrintSink sink(m_out, m_err);
    const CParamSetReadSequence::Result result =
        CParamSetReadSequence(m_link, sink).Run(nAddress, record, m_stop);
    if (!result.m_failedMnemonic.isEmpty())
        m_err << "tolvex-cli: no reply to "
              << CModuleCommand::Query(nAddress, result.m_failedMnemonic.constData()).m_text
              << "\n";
    return result.m_bComplete;
}

int CParamCliCommands::Read(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    QStringList arrPositional;
    int nAddress = 0;
    if (!args.TakePositional(1, arrPositional, strError) ||
        !TakeAddress(arrPositional[0], nAddress, strError))
        return Usage(strError);
    ModuleParamRecord record;
    return ReadInto(nAddress, record) ? CCliCommands::kOk : CCliCommands::kFailed;
}

bool CParamCliCommands::ParseAssignment(const QString& strAssignment, ModuleParamRecord& record,
                                        QByteArray& name, QString& strError)
{
    const qsizetype nEquals = strAssignment.indexOf(QLatin1Char('='));
    if (nEquals <= 0) {
        strError = QStringLiteral("%1 is not NAME=VALUE").arg(strAssignment);
        return false;
    }
    name = strAssignment.left(nEquals).toLatin1();
    const QString strValue = strAssignment.mid(nEquals + 1);
    const CParameterTable::Parameter* pParameter = CParameterTable::Find(name);
    if (!pParameter || !pParameter->m_bSaved) {
        QByteArrayList arrSaved = CParameterTable::SaveSteps();
        arrSaved.removeLast(); // the store, no parameter
        strError = QStringLiteral("%1 is not a parameter a save writes (%2)")
                       .arg(strAssignment.left(nEquals), QString::fromLatin1(arrSaved.join(' ')));
        return false;
    }
    if (name == "IDN") {
        if (!CGbkCodec::CanEncode(strValue)) {
            strError = QStringLiteral("IDN has characters code page 936 cannot carry");
            return false;
        }
        const QByteArray text = CGbkCodec::Encode(strValue);
        QByteArray field2, field3;
        const CParamSaveSequence::Identification split =
            CParamSaveSequence::SplitIdentification(text, field2, field3);
        if (split == CParamSaveSequence::Identification::NotThreeCommas) {
            strError = QStringLiteral("IDN takes the whole text with its three commas, "
                                      "as read prints it");
            return false;
        }
        if (split == CParamSaveSequence::Identification::BadField ||
            text.size() > CModuleReply::kMaxIdentificationLen) {
            strError = QStringLiteral("IDN fields 2 and 3 take at most 15 and 7 bytes, "
                                      "without \" or ;");
            return false;
        }
        record.m_strIdentification = text;
        return true;
    }
    qint32 nValue = 0;
    if (!ParseValue(strValue, nValue)) {
        strError = QStringLiteral("%1 takes a 32-bit decimal integer, not %2")
                       .arg(QString::fromLatin1(name), strValue);
        return false;
    }
    if (!pParameter->Accepts(nValue)) {
        strError = QStringLiteral("%1=%2 is outside what %1 takes")
                       .arg(QString::fromLatin1(name))
                       .arg(nValue);
        return false;
    }
    record.*pParameter->m_pField = nValue;
    return true;
}

bool CParamCliCommands::Unlock(int nAddress)
{
    const ModuleRequest unlock = CModuleCommand::Unlock(nAddress, CModuleCommand::kLongTimeoutMs);
    if (m_link.Command(unlock.m_text, unlock.m_nTimeoutMs))
        return true;
    m_err << "SPW: not acknowledged\n";
    m_err.flush();
    return false;
}

bool CParamCliCommands::Save(int nAddress, const ModuleParamRecord& record,
                             const QByteArrayList& arrSteps)
{
    CPrintSink sink(m_out, m_err);
    const CParamSaveSequence::Result result =
        CParamSaveSequence(m_link, sink).Run(nAddress, record, arrSteps, m_stop);
    if (result.m_bIdentificationSkipped) {
        m_err << (result.m_identification == CParamSaveSequence::Identification::NotThreeCommas
                      ? "IDN: skipped, not three commas\n"
                      : "IDN: skipped, a field holds \" or ; or is too long\n");
        m_err.flush();
    }
    return result.m_arrNotAcknowledged.isEmpty() && !result.m_bStopped;
}

int CParamCliCommands::Write(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    const bool bNoSetup = args.TakeFlag(QStringLiteral("--no-setup"));
    QStringList arrPositional;
    if (!args.TakePositional(-1, arrPositional, strError))
        return Usage(strError);
    int nAddress = 0;
    if (arrPositional.size() < 2)
        return Usage(QStringLiteral("write takes an address and at least one NAME=VALUE"));
    if (!TakeAddress(arrPositional[0], nAddress, strError))
        return Usage(strError);
    ModuleParamRecord record;
    QByteArrayList arrSteps;
    for (const QString& strAssignment : arrPositional.mid(1)) {
        QByteArray name;
        if (!ParseAssignment(strAssignment, record, name, strError))
            return Usage(strError);
        if (arrSteps.contains(name))
            return Usage(QStringLiteral("%1 is given twice").arg(QString::fromLatin1(name)));
        arrSteps.append(name);
    }
    arrSteps.append("TDD1");
    const bool bUnlocked = bNoSetup || Unlock(nAddress);
    const bool bSaved = Save(nAddress, record, arrSteps);
    return bUnlocked && bSaved ? CCliCommands::kOk : CCliCommands::kFailed;
}

int CParamCliCommands::Readdress(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    QStringList arrPositional;
    int nOld = 0;
    int nNew = 0;
    if (!args.TakePositional(2, arrPositional, strError) ||
        !TakeAddress(arrPositional[0], nOld, strError) ||
        !TakeAddress(arrPositional[1], nNew, strError))
        return Usage(strError);
    if (nOld == nNew)
        return Usage(QStringLiteral("the new address is the old one"));

    CPrintSink quiet(m_out, m_err, false);
    const CAddressChangeSequence::Result result =
        CAddressChangeSequence(m_link, quiet).Run(nOld, nNew, true);
    if (result.m_outcome == CAddressChangeSequence::Outcome::InUse) {
        m_err << "address " << nNew << " is in use\n";
        return CCliCommands::kFailed;
    }
    if (result.m_outcome == CAddressChangeSequence::Outcome::NotAcknowledged)
        return CCliCommands::kFailed;
    CPrintSink sink(m_out, m_err);
    const CBusScanSequence::Result scan =
        CBusScanSequence(m_link, sink).Run(CBusScanSequence::kLastAddress, nullptr, m_stop);
    const bool bNewAnswered = scan.m_arrFound.contains(nNew);
    if (!bNewAnswered)
        m_err << "address " << nNew << " did not answer the scan\n";
    return result.m_bUnlockAcknowledged && result.m_bStoreAcknowledged && bNewAnswered
               ? CCliCommands::kOk
               : CCliCommands::kFailed;
}

int CParamCliCommands::Export(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    const bool bForce = args.TakeFlag(QStringLiteral("--force"));
    int nAddress = 0;
    QString strPath;
    if (!TakeAddressAndFile(args, nAddress, strPath, strError))
        return Usage(strError);
    if (!bForce && QFileInfo::exists(strPath)) {
        m_err << strPath << ": exists (--force replaces it)\n";
        return CCliCommands::kUsageError;
    }
    ModuleParamRecord record;
    if (!ReadInto(nAddress, record)) {
        m_err << strPath << ": not written, the read is incomplete\n";
        return CCliCommands::kFailed;
    }
    PageDisplayState state;
    state.m_nSelectedAddress = nAddress;
    state.m_nNewAddress = nAddress;
    state.m_bRestartStatistics = 1;
    if (!CParamFile::Export(strPath, record, state, strError)) {
        m_err << strPath << ": " << strError << "\n";
        return CCliCommands::kFailed;
    }
    return CCliCommands::kOk;
}

int CParamCliCommands::Import(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    const bool bNoSetup = args.TakeFlag(QStringLiteral("--no-setup"));
    int nAddress = 0;
    QString strPath;
    if (!TakeAddressAndFile(args, nAddress, strPath, strError))
        return Usage(strError);
    ModuleParamRecord record;
    PageDisplayState state;
    if (!CParamFile::Import(strPath, record, state, strError)) {
        m_err << strPath << ": " << strError << "\n";
        return CCliCommands::kUsageError;
    }
    const bool bUnlocked = bNoSetup || Unlock(nAddress);
    const bool bSaved = Save(nAddress, record, {});
    return bUnlocked && bSaved ? CCliCommands::kOk : CCliCommands::kFailed;
}
