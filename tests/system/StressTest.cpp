// The window on its simulated bus with every page's worker busy (calibration
// captures and a script among them), switched, closed and terminated at drawn
// moments (a fixed seed, so a failure repeats): each worker is stopped and
// joined when its page hides, nothing reaches the bus once no page is
// working, the patrol's recordings stay whole and unwritten once the window is
// gone, no thread of ours outlives the window, and the program ends with 0 on
// SIGTERM whatever it was doing.
#include "AppRig.h"
#include "curves/PlotDisplayDialog.h"
#include "multi/32DisplayDialog.h"
#include "multi/PatrolWorker.h"
#include "params/ParamSettingsDialog.h"
#include "sim/PtySimulator.h"
#include "terminal/ComAssistDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>

#include <numeric>
#include <random>

namespace {

constexpr int kTabParams = 0;
constexpr int kTabMulti = 1;
constexpr int kTabPlot = 2;
constexpr int kTabHistory = 3;
constexpr int kTabTerminal = 4;
constexpr unsigned kSeed = 20261209;

void Show(CTolvexApp& app, int nTab)
{
    QTabBar* pBar = app.View()->TabSheet()->TabBar();
    QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(nTab).center());
}

// Whether the page of nTab has a worker of its own running.
bool IsWorking(CTolvexApp& app, int nTab)
{
    CTolvexView& view = *app.View();
    switch (nTab) {
    case kTabParams:
        return view.ParamPage()->Worker().IsRunning();
    case kTabMulti:
        return view.MultiPage()->Worker().IsRunning();
    case kTabPlot:
        return view.PlotPage()->IsRunning();
    case kTabTerminal:
        return static_cast<CComAssistDialog*>(view.Page(kTabTerminal))->ScriptRun().IsRunning();
    default:
        return false;
    }
}

// A script that polls address 3 until it is stopped; the terminal's timed
// send puts the same text on the bus, which the modules ignore.
void RunScript(CTolvexApp& app)
{
    app.View()->Page(kTabTerminal)->findChild<QPushButton*>("buttonRunScript")->click();
}

// The sizes of the patrol's recordings in the working folder.
QMap<QString, qint64> Recordings()
{
    QMap<QString, qint64> mapSizes;
    for (const QFileInfo& file : QDir().entryInfoList({QStringLiteral("*.sdat")}, QDir::Files))
        mapSizes.insert(file.fileName(), file.size());
    return mapSizes;
}

qint64 RecordedBytes(const QMap<QString, qint64>& mapSizes)
{
    return std::accumulate(mapSizes.begin(), mapSizes.end(), qint64(0));
}

// Sets every page to work: the module at address 3 read into the parameter
// page (which then polls it whenever it shows and captures zero or full load
// when it is entered), the patrol recording, the terminal sending every 20 ms
// and running a script; the patrol and the real-time poll run whenever their
// pages show.
bool SetToWork(CTolvexApp& app)
{
    Show(app, kTabParams);
    CParamSettingsDialog* pParams = app.View()->ParamPage();
    QTableWidget* pGrid = pParams->findChild<QTableWidget*>("gridBus");
    QTest::mouseClick(pGrid->viewport(), Qt::LeftButton, {},
                      pGrid->visualItemRect(pGrid->item(3, 0)).center());
    if (!QTest::qWaitFor([pParams] { return pParams->IsModuleRead(); }, 20000))
        return false;
    Show(app, kTabMulti);
    app.View()->MultiPage()->findChild<QPushButton*>("buttonSave")->click();
    if (!QTest::qWaitFor([] { return RecordedBytes(Recordings()) > 0; }, 20000))
        return false;
    Show(app, kTabTerminal);
    QWidget* pTerminal = app.View()->Page(kTabTerminal);
    pTerminal->findChild<QPlainTextEdit*>("editSend")
        ->setPlainText(QStringLiteral("while (true) { Send('S03;MSV?;'); Delay(20); }"));
    pTerminal->findChild<QLineEdit*>("editSendInterval")->setText(QStringLiteral("20"));
    QTest::mouseClick(pTerminal->findChild<QCheckBox*>("checkTimedSend"), Qt::LeftButton);
    RunScript(app);
    return app.View()->MultiPage()->Recorder().IsRecording();
}

} // namespace

class StressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_pDir = std::make_unique<CTempSettings>();
        QVERIFY(m_pDir->IsValid());
    }
    void cleanup() { m_pDir.reset(); }

    // 200 page switches at drawn moments; every 20 the history page, which
    // has no worker, shows and the bus must fall silent.
    void pagesSwitchedMidWork()
    {
        std::mt19937 random(kSeed);
        QString strError;
        auto pApp = StartOnTab(kTabParams, strError);
        QVERIFY2(pApp, qPrintable(strError));
        QVERIFY(SetToWork(*pApp));
        const QList<int> arrTabs{kTabParams, kTabMulti, kTabPlot, kTabTerminal};
        int nShown = kTabTerminal;
        QSet<int> arrSeenWorking;
        for (int i = 1; i <= 200; ++i) {
            const int nTab = i % 20 == 0 ? kTabHistory : arrTabs[int(random() % 4)];
            Show(*pApp, nTab);
            // A hidden page's worker ends its exchange in flight, then stops.
            if (nTab != nShown)
                QTRY_VERIFY2_WITH_TIMEOUT(
                    !IsWorking(*pApp, nShown),
                    qPrintable(QStringLiteral("switch %1, tab %2").arg(i).arg(nShown)), 10000);
            nShown = nTab;
            if (nTab == kTabTerminal)
                RunScript(*pApp);
            // A capture of zero or full load, which the hiding may cut short.
            if (nTab == kTabParams)
                pApp->View()
                    ->ParamPage()
                    ->findChild<QPushButton*>(random() % 2 ? "buttonCaptureZero"
                                                           : "buttonCaptureFull")
                    ->click();
            if (nTab == kTabHistory) {
                CSimBus& bus = pApp->Simulator()->Bus();
                const qsizetype nFrames = bus.FrameLog().size();
                QTest::qWait(300);
                QCOMPARE(bus.FrameLog().size(), nFrames);
            } else {
                QTest::qWait(int(random() % 60));
                if (IsWorking(*pApp, nTab))
                    arrSeenWorking.insert(nTab);
            }
        }
        QCOMPARE(arrSeenWorking, QSet<int>({kTabParams, kTabMulti, kTabPlot, kTabTerminal}));
        const QList<QByteArray> arrFrames = pApp->Simulator()->Bus().FrameLog();
        QVERIFY(arrFrames.contains("S03;LDW;") && arrFrames.contains("S03;LWT;"));
        QVERIFY(pApp->MainFrame()->close());
        pApp->ExitInstance();
        // Whole values in every recording, and none written after the close.
        const QMap<QString, qint64> mapSizes = Recordings();
        for (auto it = mapSizes.begin(); it != mapSizes.end(); ++it)
            QVERIFY2(it.value() % 4 == 0, qPrintable(it.key()));
        QVERIFY(RecordedBytes(mapSizes) > 0);
        QTest::qWait(500);
        QCOMPARE(Recordings(), mapSizes);
    }

    // The window closed ten times with its pages at work.
    void windowClosedMidWork()
    {
        std::mt19937 random(kSeed + 1);
        const QList<int> arrTabs{kTabParams, kTabMulti, kTabPlot, kTabTerminal};
        const QMap<QString, QString> mapBefore = Threads();
        for (int i = 0; i < 10; ++i) {
            QString strError;
            auto pApp = StartOnTab(kTabParams, strError);
            QVERIFY2(pApp, qPrintable(strError));
            QVERIFY(SetToWork(*pApp));
            Show(*pApp, arrTabs[int(random() % 4)]);
            QTest::qWait(int(random() % 500));
            QVERIFY(pApp->MainFrame()->close());
            pApp->ExitInstance();
            QVERIFY(pApp->MainFrame() == nullptr);
            pApp.reset();
            QTRY_COMPARE_WITH_TIMEOUT(NewThreads(mapBefore), QStringList(), 10000);
        }
    }

    // The program terminated twenty times, at drawn moments after it came up.
    void executableTerminatedMidWork()
    {
        std::mt19937 random(kSeed + 2);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_pDir->FilePath(QStringLiteral("config")));
        for (int i = 0; i < 20; ++i) {
            QProcess process;
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(m_pDir->Path());
            process.start(
                QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath(QStringLiteral("tolvex")),
                {QStringLiteral("--simulate")});
            QVERIFY(process.waitForStarted(30000));
            QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 30000);
            QTest::qWait(int(random() % 1500));
            process.terminate();
            QVERIFY2(process.waitForFinished(60000), qPrintable(QString::number(i)));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 0);
        }
    }

private:
    std::unique_ptr<CTempSettings> m_pDir;
};

QTEST_MAIN(StressTest)
#include "StressTest.moc"
