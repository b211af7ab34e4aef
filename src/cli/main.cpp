#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/MqttCliOptions.h"
#include "link/BusLink.h"
#include "remote/RemoteMonitor.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

namespace {

void OnInterrupt(int)
{
    CCliCommands::RequestStop();
}

// Publishing never stops a command: the state changes go to stderr, one line each.
void StartPublishing(CRemoteMonitor& remote, const MqttSettings& settings)
{
    struct Told
    {
        CMqttPublisher::State m_state = CMqttPublisher::State::Connecting;
        bool m_bConnected = false;
    };
    auto pTold = std::make_shared<Told>();
    remote.SetStateListener([pTold](const CMqttPublisher::Status& status) {
        if (status.m_state == pTold->m_state)
            return;
        pTold->m_state = status.m_state;
        const QByteArray reason = status.m_strErrorEnglish.toUtf8();
        switch (status.m_state) {
        case CMqttPublisher::State::Connected:
            pTold->m_bConnected = true;
            std::fprintf(stderr, "mqtt: connected\n");
            break;
        case CMqttPublisher::State::Reconnecting:
            std::fprintf(stderr, "mqtt: %s: %s; retrying\n",
                         pTold->m_bConnected ? "connection lost" : "cannot connect",
                         reason.constData());
            break;
        case CMqttPublisher::State::Refused:
            std::fprintf(stderr, "mqtt: refused: %s\n", reason.constData());
            break;
        default:
            break;
        }
    });
    remote.Start(settings);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QList<QByteArray> arrRaw;
    for (int i = 1; i < argc; ++i)
        arrRaw << QByteArray(argv[i]);
    QStringList arrArgs;
    QString strError;
    if (!CliOptions::DecodeArguments(arrRaw, arrArgs, strError)) {
        err << CliOptions::UsageErrorLine(strError);
        return CCliCommands::kUsageError;
    }
    if (arrArgs.contains(QLatin1String("--help")) || arrArgs.contains(QLatin1String("-h"))) {
        out << CliOptions::Usage();
        return 0;
    }
    if (arrArgs.contains(QLatin1String("--version"))) {
        out << CliOptions::VersionLine();
        return 0;
    }
    CliOptions options;
    if (!options.Parse(arrArgs, strError)) {
        err << CliOptions::UsageErrorLine(strError);
        return CCliCommands::kUsageError;
    }
    std::optional<MqttSettings> mqtt;
    if (options.m_strCommand == QLatin1String("msv") ||
        options.m_strCommand == QLatin1String("patrol")) {
        if (!TakeMqttOptions(options.m_arrArguments, mqtt, strError)) {
            err << CliOptions::UsageErrorLine(strError);
            return CCliCommands::kUsageError;
        }
    }
    if (options.m_bVerbose)
        QLoggingCategory::setFilterRules(QStringLiteral("tolvex.link.debug=true"));

    CSession session;
    if (const QString strSetAside = session.SettingsStore().SetAsideMessage();
        !strSetAside.isEmpty())
        err << "tolvex-cli: " << strSetAside << "\n";
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
        // At the pace a real bus would have at these settings.
        simOptions.AtLinePace(settings.m_nBaud);
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

    // The device going away ends a one-shot command; it is reported once it
    // has. An endless one goes on (its reads fail meanwhile) and says when the
    // device is lost and when it is back; the lines come from the I/O thread.
    const bool bEndless = CCliCommands::IsEndless(options.m_strCommand, options.m_arrArguments);
    std::mutex lostMutex;
    QString strLostReason;
    QObject::connect(
        &link, &CBusLink::PortLost, &link,
        [&](const QString& strReason) {
            const QString strShown = strReason.isEmpty() ? QStringLiteral("hung up") : strReason;
            if (bEndless) {
                std::fprintf(stderr, "%s: device lost: %s; waiting for it to come back\n",
                             qUtf8Printable(link.OpenDevice()), qUtf8Printable(strShown));
                return;
            }
            std::lock_guard lock(lostMutex);
            strLostReason = strShown;
            CCliCommands::RequestStop();
        },
        Qt::DirectConnection);
    QObject::connect(
        &link, &CBusLink::PortReconnected, &link,
        [&] { std::fprintf(stderr, "%s: reconnected\n", qUtf8Printable(link.OpenDevice())); },
        Qt::DirectConnection);

    if (mqtt)
        StartPublishing(session.Remote(), *mqtt);

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    CCliCommands commands(link, out, err);
    int nExit = commands.Run(options.m_strCommand, options.m_arrArguments);
    link.ClosePort();
    if (mqtt) {
        // The queue gets two seconds to drain; what is left is said.
        if (const quint64 nLeft = session.Remote().Stop(2000))
            std::fprintf(stderr, "mqtt: %llu messages not delivered\n",
                         static_cast<unsigned long long>(nLeft));
    }
    std::lock_guard lock(lostMutex);
    if (!strLostReason.isEmpty()) {
        err << link.OpenDevice() << ": device lost: " << strLostReason << "\n";
        nExit = CCliCommands::kFailed;
    }
    return nExit;
}
