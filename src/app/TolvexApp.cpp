#include "app/TolvexApp.h"

#include "app/MainFrame.h"
#include "app/QuitSignalWatcher.h"
#include "app/TabSheet.h"
#include "app/TolvexView.h"
#include "module/AddressList.h"
#include "settings/SettingsStore.h"
#include "sim/PtySimulator.h"
#include "uikit/AppPath.h"

#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int kCycleStepMs = 300;
} // namespace

bool CTolvexApp::ParseArguments(const QStringList& arrArgs, Options& options, QString& strError)
{
    for (int i = 1; i < arrArgs.size(); ++i) {
        const QString& strArg = arrArgs[i];
        if (strArg == QLatin1String("--simulate")) {
            options.m_bSimulate = true;
        } else if (strArg.startsWith(QLatin1String("--simulate="))) {
            options.m_bSimulate = true;
            if (!CAddressList::Parse(strArg.section(QLatin1Char('='), 1),
                                     options.m_arrSimAddresses)) {
                strError = QStringLiteral(
                    "--simulate takes distinct addresses 0..99, such as --simulate=1,3,17");
                return false;
            }
        } else if (strArg == QLatin1String("--cycle-tabs")) {
            options.m_bCycleTabs = true;
        } else {
            strError = QStringLiteral("unknown option ") + strArg;
            return false;
        }
    }
    return true;
}

QString CTolvexApp::Usage()
{
    return QStringLiteral(
        "usage: tolvex [--simulate[=ADDRS]] [--cycle-tabs]\n"
        "\n"
        "--simulate     run simulated modules (default 1,3,17) on a pseudo-terminal that\n"
        "               serves the stored COM number for this run, at the pace of the\n"
        "               stored baud rate\n"
        "--cycle-tabs   select every tab in turn, then close the window (for automated runs)\n");
}

CTolvexApp::CTolvexApp() : CTolvexApp(Options()) {}

CTolvexApp::CTolvexApp(const Options& options) : m_options(options) {}

CTolvexApp::~CTolvexApp()
{
    ExitInstance();
}

bool CTolvexApp::InitInstance(QString& strError)
{
    m_strProgramFolder = CAppPath::DataFolder();
    // Folders that exist already, or cannot be made, are no reason to stop.
    QDir().mkpath(m_strProgramFolder + QStringLiteral("数据文件"));
    QDir().mkpath(m_strProgramFolder + QStringLiteral("文本文件"));

    QString strSimDevice;
    if (m_options.m_bSimulate) {
        SimOptions simOptions;
        simOptions.m_arrAddresses = m_options.m_arrSimAddresses;
        // The simulated bus answers at the pace of the stored line settings.
        ComSettings comSettings;
        PlotSettings plotSettings;
        CSettingsStore().LoadReadOnly(comSettings, plotSettings);
        simOptions.AtLinePace(comSettings.m_nBaud);
        m_pSimulator = std::make_unique<CPtySimulator>(simOptions);
        strSimDevice = m_pSimulator->Start();
        if (strSimDevice.isEmpty()) {
            strError = QStringLiteral("cannot start the simulator: ") + m_pSimulator->ErrorText();
            m_pSimulator.reset();
            return false;
        }
    }

    m_pFrame = std::make_unique<CMainFrame>(new CTolvexView());
    if (!strSimDevice.isEmpty())
        m_pFrame->View()->SetSimulatedDevice(strSimDevice);
    m_pFrame->OnNewDocument();
    m_pFrame->showMaximized();

    if (!strSimDevice.isEmpty()) {
        QStringList arrAddresses;
        for (int nAddress : m_options.m_arrSimAddresses)
            arrAddresses.append(QString::number(nAddress));
        std::printf("tolvex: simulated modules %s on %s (COM%d)\n",
                    qPrintable(arrAddresses.join(QLatin1Char(','))), qPrintable(strSimDevice),
                    m_pFrame->View()->m_comSettings.m_nPort);
        std::fflush(stdout);
    }

    m_pQuitWatcher = std::make_unique<CQuitSignalWatcher>();
    QObject::connect(m_pQuitWatcher.get(), &CQuitSignalWatcher::QuitRequested, m_pFrame.get(),
                     &QWidget::close);
    if (m_options.m_bCycleTabs)
        QTimer::singleShot(kCycleStepMs, m_pFrame.get(), [this] { CycleTabs(0); });
    return true;
}

void CTolvexApp::ExitInstance()
{
    m_pQuitWatcher.reset();
    if (m_pFrame != nullptr) {
        m_pFrame->close();
        m_pFrame.reset();
    }
    if (m_pSimulator != nullptr) {
        m_pSimulator->Stop();
        m_pSimulator.reset();
    }
}

void CTolvexApp::CycleTabs(int nTab)
{
    CTabSheet* pSheet = m_pFrame->View()->TabSheet();
    if (nTab >= pSheet->PageCount()) {
        m_pFrame->close();
        return;
    }
    pSheet->TabBar()->setCurrentIndex(nTab);
    QTimer::singleShot(kCycleStepMs, m_pFrame.get(), [this, nTab] { CycleTabs(nTab + 1); });
}

int RunTolvex(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvex"));
    QApplication::setOrganizationName(QStringLiteral("Kavro"));

    CTolvexApp::Options options;
    QString strError;
    if (!CTolvexApp::ParseArguments(QApplication::arguments(), options, strError)) {
        std::fprintf(stderr, "tolvex: %s\n%s", qPrintable(strError),
                     qPrintable(CTolvexApp::Usage()));
        return 2;
    }
    CTolvexApp tolvexApp(options);
    if (!tolvexApp.InitInstance(strError)) {
        std::fprintf(stderr, "tolvex: %s\n", qPrintable(strError));
        return 1;
    }
    const int nResult = QApplication::exec();
    tolvexApp.ExitInstance();
    return nResult;
}
