#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "link/BusLink.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <mutex>

namespace {

void OnInterrupt(int)
{
    CCliCommands::RequestStop();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList arrArgs = QCoreApplication::arguments().mid(1);
    if (arrArgs.contains(QLatin1String("--help")) || arrArgs.contains(QLatin1String("-h"))) {
        out << CliOptions::Usage();
        return 0;
    }
    if (arrArgs.contains(QLatin1String("--version"))) {
        out << CliOptions::VersionLine();
        return 0;
    }
    CliOptions options;
    QString strError;
    if (!options.Parse(arrArgs, strError)) {
        err << CliOptions::UsageErrorLine(strError);
        return CCliCommands::kUsageError;
    }
    if (options.m_bVerbose)
        QLoggingCategory::setFilterRules(QStringLiteral("tolvex.link.debug=true"));

    CSession session;
    ComSettings& settings = session.PortSettings(); // 19200, E, 8, 1 unless stored or given
    if (options.m_source == CliOptions::PortSource::Stored) {
        // The bus settings the main window stored, read without writing anything back.
        session.LoadSettingsReadOnly();
    }
    if (options.m_source == CliOptions::PortSource::ComNumber)
        settings.m_nPort = options.m_nCom;
    settings.m_nBaud = options.m_nBaud.value_or(settings.m_nBaud);
    settings.m_nParity = static_cast<quint8>(options.m_cParity.value_or(settings.ParityLetter()));
    settings.m_nDataBits = options.m_nDataBits.value_or(settings.m_nDataBits);
    settings.m_nStopBits = options.m_nStopBits.value_or(settings.m_nStopBits);

    if (options.m_source == CliOptions::PortSource::Device)
        session.ServeForRun(options.m_strDevice);
    if (options.m_source == CliOptions::PortSource::Simulator) {
        SimOptions simOptions;
        simOptions.m_arrAddresses = options.m_arrSimAddresses;
        if (!session.StartSimulator(simOptions, strError)) {
            err << "tolvex-cli: " << strError << "\n";
            return CCliCommands::kUsageError;
        }
    }

    CBusLink& link = session.BusLink();
    if (!link.OpenPort(settings)) {
        err << link.LastOpenFailure().Text() << "\n";
        return CCliCommands::kUsageError;
    }

    // The device going away ends the command; it is reported once it has.
    std::mutex lostMutex;
    QString strLostReason;
    QObject::connect(
        &link, &CBusLink::PortLost, &link,
        [&](const QString& strReason) {
            std::lock_guard lock(lostMutex);
            strLostReason = strReason.isEmpty() ? QStringLiteral("hung up") : strReason;
            CCliCommands::RequestStop();
        },
        Qt::DirectConnection);

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    CCliCommands commands(link, out, err);
    int nExit = commands.Run(options.m_strCommand, options.m_arrArguments);
    link.ClosePort();
    std::lock_guard lock(lostMutex);
    if (!strLostReason.isEmpty()) {
        err << link.OpenDevice() << ": device lost: " << strLostReason << "\n";
        nExit = CCliCommands::kFailed;
    }
    return nExit;
}
