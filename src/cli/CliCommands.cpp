#include "cli/CliCommands.h"

#include "cli/CalibrationCliCommands.h"
#include "cli/CliOptions.h"
#include "cli/ParamCliCommands.h"
#include "cli/PatrolCliCommand.h"
#include "cli/ScriptCliCommand.h"
#include "link/BusLink.h"
#include "link/MeasuredValuePoll.h"
#include "link/StopFlag.h"
#include "module/ModuleCommand.h"

#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

#include <mutex>

std::atomic<bool> CCliCommands::s_bStop{false};

CCliCommands::CCliCommands(CBusLink& link, QTextStream& out, QTextStream& err)
    : m_link(link), m_out(out), m_err(err)
{
}

int CCliCommands::Run(const QString& strCommand, const QStringList& arrArgs)
{
    int nExit = kUsageError;
    CParamCliCommands params(m_link, m_out, m_err, [] { return s_bStop.load(); });
    if (strCommand == QLatin1String("scan"))
        nExit = params.Scan(arrArgs);
    else if (strCommand == QLatin1String("read"))
        nExit = params.Read(arrArgs);
    else if (strCommand == QLatin1String("write"))
        nExit = params.Write(arrArgs);
    else if (strCommand == QLatin1String("readdress"))
        nExit = params.Readdress(arrArgs);
    else if (strCommand == QLatin1String("export"))
        nExit = params.Export(arrArgs);
    else if (strCommand == QLatin1String("import"))
        nExit = params.Import(arrArgs);
    else if (strCommand == QLatin1String("calibrate"))
        nExit = CalibrationCommands().Calibrate(arrArgs);
    else if (strCommand == QLatin1String("nominal"))
        nExit = CalibrationCommands().Nominal(arrArgs);
    else if (strCommand == QLatin1String("linearise"))
        nExit = CalibrationCommands().Linearise(arrArgs);
    else if (strCommand == QLatin1String("msv"))
        nExit = Msv(arrArgs);
    else if (strCommand == QLatin1String("send"))
        nExit = Send(arrArgs);
    else if (strCommand == QLatin1String("patrol"))
        nExit = CPatrolCliCommand(m_link, m_out, m_err, s_bStop).Run(arrArgs);
    else if (strCommand == QLatin1String("script"))
        nExit = CScriptCliCommand(m_link, m_err, s_bStop).Run(arrArgs);
    else
        nExit = Usage(QStringLiteral("unknown command %1").arg(strCommand));
    m_out.flush();
    m_err.flush();
    return nExit;
}

CCalibrationCliCommands CCliCommands::CalibrationCommands()
{
    return CCalibrationCliCommands(m_link, m_out, m_err, [] { return s_bStop.load(); });
}

bool CCliCommands::IsEndless(const QString& strCommand, const QStringList& arrArgs)
{
    QStringList arrNames{QStringLiteral("-n")};
    if (strCommand == QLatin1String("msv"))
        arrNames << QStringLiteral("--count");
    else if (strCommand != QLatin1String("patrol"))
        return false;
    CCommandArgs args(arrArgs);
    QString strError;
    int nCount = 1;
    return args.TakeInt(arrNames, 0, INT_MAX, nCount, strError) && nCount == 0;
}

void CCliCommands::Pause(int nMs)
{
    QElapsedTimer timer;
    timer.start();
    // A signal handler can only set the stop word: look at it often.
    while (timer.elapsed() < nMs && !s_bStop)
        QThread::msleep(qMin<qint64>(20, nMs - timer.elapsed()));
}

int CCliCommands::Usage(const QString& strError)
{
    m_err << CliOptions::UsageErrorLine(strError);
    return kUsageError;
}

bool CCliCommands::TakeAddress(const QStringList& arrPositional, int& nAddress)
{
    return ParseInt(arrPositional.value(0), 0, 31, nAddress);
}

int CCliCommands::Msv(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    int nCount = 1;
    int nIntervalMs = 0;
    QStringList arrPositional;
    const bool bChecksum = args.TakeFlag(QStringLiteral("--checksum"));
    const bool bNoSetup = args.TakeFlag(QStringLiteral("--no-setup"));
    if (!args.TakeInt({QStringLiteral("-n"), QStringLiteral("--count")}, 0, INT_MAX, nCount,
                      strError) ||
        !args.TakeInt({QStringLiteral("--interval")}, 0, 3600000, nIntervalMs, strError) ||
        !args.TakePositional(1, arrPositional, strError))
        return Usage(strError);
    int nAddress = 0;
    if (!TakeAddress(arrPositional, nAddress))
        return Usage(QStringLiteral("the address is a number from 0 to 31"));

    if (!bNoSetup) {
        QList<ModuleRequest> arrSetup{
            CModuleCommand::BinaryOutput(nAddress, CModuleCommand::kShortTimeoutMs)};
        if (bChecksum)
            arrSetup.append(CModuleCommand::ChecksumOn(nAddress, CModuleCommand::kShortTimeoutMs));
        for (const ModuleRequest& setup : arrSetup)
            m_link.Command(setup.m_text, setup.m_nTimeoutMs);
    }
    CStopFlag stop(s_bStop);
    CMeasuredValuePoll poll(m_link, stop);
    poll.SetTimeout(CModuleCommand::MeasuredValue(nAddress).m_nTimeoutMs);
    poll.SetChecksum(bChecksum);
    poll.SetInterval(nIntervalMs);
    poll.SetSource(QStringLiteral("cli"));
    bool bAnyFailed = false;
    poll.Run(nAddress, nCount, [&](CMeasuredValuePoll::Outcome outcome, qint32 nValue) {
        if (outcome == CMeasuredValuePoll::Outcome::Value) {
            m_out << nValue << "\n";
            m_out.flush();
            return;
        }
        m_err << (outcome == CMeasuredValuePoll::Outcome::BadCheckByte ? "bad check byte\n"
                                                                       : "timeout\n");
        m_err.flush();
        bAnyFailed = true;
    });
    return bAnyFailed ? kFailed : kOk;
}

int CCliCommands::Send(const QStringList& arrArgs)
{
    CCommandArgs args(arrArgs);
    QString strError;
    int nWaitMs = 200;
    QStringList arrPositional;
    const bool bHex = args.TakeFlag(QStringLiteral("--hex"));
    if (!args.TakeInt({QStringLiteral("--wait")}, 0, 3600000, nWaitMs, strError) ||
        !args.TakePositional(1, arrPositional, strError))
        return Usage(strError);
    QByteArray bytes = arrPositional[0].toLocal8Bit();
    if (bHex) {
        const QByteArray digits = arrPositional[0].toLatin1().simplified().replace(' ', "");
        if (digits.isEmpty() || digits.size() % 2 != 0 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isxdigit(uchar(c)); }))
            return Usage(
                QStringLiteral("--hex takes pairs of hexadecimal digits, such as \"53 30 31 3B\""));
        bytes = QByteArray::fromHex(digits);
    }

    // Raw traffic: route what arrives to us as the terminal would see it.
    std::mutex mutex;
    QByteArray received;
    m_link.SetTerminalReceiver([&](const QByteArray& data) {
        std::lock_guard lock(mutex);
        received += data;
    });
    m_link.m_bTerminalShown = 1;
    m_link.SendBytes(bytes);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nWaitMs && !s_bStop)
        QThread::msleep(5);
    m_link.m_bTerminalShown = 0;
    m_link.SetTerminalReceiver(nullptr);

    std::lock_guard lock(mutex);
    m_out << QString::fromLatin1(received.toHex(' ').toUpper()) << "\n";
    return kOk;
}
