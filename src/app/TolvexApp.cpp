#include "app/TolvexApp.h"

#include "app/DialogSizer.h"
#include "app/MainFrame.h"
#include "app/QuitSignalWatcher.h"
#include "app/TabSheet.h"
#include "app/TolvexView.h"
#include "module/AddressList.h"
#include "session/Session.h"
#include "sim/PtySimulator.h"
#include "uikit/AppPath.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QTabBar>
#include <QTimer>
#include <QTranslator>

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

bool CTolvexApp::LoadQtTranslations()
{
    auto pTranslator = std::make_unique<QTranslator>();
    if (!pTranslator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(pTranslator.get());
    m_pQtTranslator = std::move(pTranslator);
    return true;
}

bool CTolvexApp::InitInstance(QString& strError)
{
    // Without Qt's translations its dialogs stay English; the tool works all the same.
    LoadQtTranslations();
    m_pDialogSizer = std::make_unique<CDialogSizer>();
    qApp->installEventFilter(m_pDialogSizer.get());
    m_strProgramFolder = CAppPath::DataFolder();
    // Folders that exist already, or cannot be made, are no reason to stop.
    QDir().mkpath(m_strProgramFolder + QStringLiteral("数据文件"));
    QDir().mkpath(m_strProgramFolder + QStringLiteral("文本文件"));

    m_pSession = std::make_unique<CSession>();
    m_pSession->LoadSettings();
    if (m_options.m_bSimulate) {
        SimOptions simOptions;
        simOptions.m_arrAddresses = m_options.m_arrSimAddresses;
        // The simulated bus answers at the pace of the stored line settings.
        simOptions.AtLinePace(m_pSession->PortSettings().m_nBaud);
        if (!m_pSession->StartSimulator(simOptions, strError)) {
            m_pSession.reset();
            return false;
        }
    }

    m_pView = new CTolvexView(*m_pSession);
    m_pFrame = std::make_unique<CMainFrame>(m_pView, m_pView->Actions());
    CMainFrame* pFrame = m_pFrame.get();
    CTolvexView* pView = m_pView;
    QObject::connect(pFrame, &CMainFrame::NewDocument, pView, &CTolvexView::OnInitialUpdate);
    QObject::connect(pFrame, &CMainFrame::Closing, pView, &CTolvexView::StopWorkers);
    QObject::connect(pFrame->FileMenu(), &QMenu::aboutToShow, pView,
                     &CTolvexView::UpdateSaveCurveDataItem);
    QObject::connect(pView, &CTolvexView::StatusTextChanged, pFrame, &CMainFrame::SetMessageText);
    QObject::connect(pView, &CTolvexView::RecordingFileChanged, pFrame,
                     &CMainFrame::SetRecordingFile);
    QObject::connect(pView, &CTolvexView::BackgroundChanged, pFrame,
                     &CMainFrame::SetMenuBackground);
    m_pFrame->OnNewDocument();
    m_pFrame->showMaximized();
    if (const QString strSetAside = m_pSession->SettingsStore().SetAsideMessage();
        !strSetAside.isEmpty()) {
        // Not waited for: the tool starts on the defaults either way.
        auto* pBox = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                     strSetAside, QMessageBox::Ok, m_pFrame.get());
        pBox->setAttribute(Qt::WA_DeleteOnClose);
        pBox->open();
    }

    if (CPtySimulator* pSimulator = Simulator()) {
        QStringList arrAddresses;
        for (int nAddress : m_options.m_arrSimAddresses)
            arrAddresses.append(QString::number(nAddress));
        std::printf("tolvex: simulated modules %s on %s (COM%d)\n",
                    qPrintable(arrAddresses.join(QLatin1Char(','))),
                    qPrintable(pSimulator->SlavePath()), m_pSession->PortSettings().m_nPort);
        std::fflush(stdout);
    }

    m_pQuitWatcher = std::make_unique<CQuitSignalWatcher>();
    QObject::connect(m_pQuitWatcher.get(), &CQuitSignalWatcher::QuitRequested, m_pFrame.get(),
                     &QWidget::close);
    if (m_options.m_bCycleTabs)
        QTimer::singleShot(kCycleStepMs, m_pFrame.get(), [this] { CycleTabs(0); });
    return true;
}

CPtySimulator* CTolvexApp::Simulator() const
{
    return m_pSession != nullptr ? m_pSession->Simulator() : nullptr;
}

void CTolvexApp::ExitInstance()
{
    m_pQuitWatcher.reset();
    if (m_pFrame != nullptr) {
        m_pFrame->close();
        m_pFrame.reset();
        m_pView = nullptr;
    }
    m_pSession.reset();
    m_pDialogSizer.reset();
    if (m_pQtTranslator != nullptr) {
        QCoreApplication::removeTranslator(m_pQtTranslator.get());
        m_pQtTranslator.reset();
    }
}

void CTolvexApp::CycleTabs(int nTab)
{
    CTabSheet* pSheet = m_pView->TabSheet();
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
