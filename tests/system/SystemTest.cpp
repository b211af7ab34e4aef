#include "AppRig.h"
#include "link/BusLink.h"
#include "multi/32DisplayDialog.h"
#include "params/ParamSettingsDialog.h"
#include "settings/ParamsManager.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"
#include "sim/PtySimulator.h"
#include "uikit/TabPage.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

QString TolvexBinary()
{
    return QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath(QStringLiteral("tolvex"));
}

} // namespace

class SystemTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void demoRunsAllTabsAndTalksToTheSimulator();
    void executableStopsCleanlyOnSigterm();
    void executableCyclesTabsAndCloses();
    void badArgumentsAreRefused();

private:
    QProcessEnvironment ProcessEnvironment() const;

    std::unique_ptr<CTempSettings> m_pDir;
};

void SystemTest::init()
{
    m_pDir = std::make_unique<CTempSettings>();
    QVERIFY(m_pDir->IsValid());
}

void SystemTest::cleanup()
{
    m_pDir.reset();
}

QProcessEnvironment SystemTest::ProcessEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_pDir->FilePath(QStringLiteral("config")));
    return env;
}

void SystemTest::demoRunsAllTabsAndTalksToTheSimulator()
{
    const QMap<QString, QString> mapThreadsBefore = Threads();
    QString strError;
    auto pApp = StartOnTab(0, strError, {17, 3, 5});
    QVERIFY2(pApp, qPrintable(strError));
    CMainFrame* pFrame = pApp->MainFrame();
    CTolvexView* pView = pApp->View();
    // Something to show at once: the first module is the current one, the
    // patrol covers all of them.
    QCOMPARE(pView->Context().m_nCurAddress.load(), 3);
    QCOMPARE(pView->ParamPage()->State().m_nSelectedAddress, 3);
    QCOMPARE(pView->MultiPage()->Settings().m_nMaxAddress, 17);
    const QString strPty = pApp->Simulator()->SlavePath();
    QVERIFY(QFile::exists(strPty));

    QTabBar* pBar = pView->TabSheet()->TabBar();
    for (int nTab : {1, 2, 3, 4, 5, 0}) {
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(nTab).center());
        QCOMPARE(pView->TabSheet()->CurrentPage(), nTab);
        QVERIFY(pView->Page(nTab)->isVisible());
        QTest::qWait(50);
        QVERIFY(pFrame->isVisible());
    }

    // The stored COM number reaches the simulated modules.
    QVERIFY(pView->Context().OpenBusPort());
    QByteArray reply;
    bool bAnswered = false;
    std::thread worker([&] { bAnswered = pView->Context().Query("S05;ADR?;", reply, 4, 2000); });
    worker.join();
    QVERIFY(bAnswered);
    QCOMPARE(reply, QByteArray("05\r\n"));
    QFile settingsFile(CParamsManager::DefaultSettingsFile());
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    // Nothing of the run is stored: no device, and the port settings as they were.
    const QByteArray stored = settingsFile.readAll();
    QVERIFY(!stored.contains("PortMap"));
    ComSettings storedCom;
    PlotSettings storedPlot;
    CSettingsStore().LoadReadOnly(storedCom, storedPlot);
    QCOMPARE(storedCom, ComSettings());
    QCOMPARE(CPortMap().DeviceFor(1), QString());

    // The bus I/O thread and the simulator are running now.
    QVERIFY(NewThreads(mapThreadsBefore).size() >= 2);

    QVERIFY(pFrame->close());
    pApp->ExitInstance();
    QVERIFY(pApp->MainFrame() == nullptr);
    // Bus I/O thread and simulator thread are gone.
    QTRY_COMPARE_WITH_TIMEOUT(NewThreads(mapThreadsBefore), QStringList(), 10000);
}

void SystemTest::executableStopsCleanlyOnSigterm()
{
    QProcess process;
    process.setProcessEnvironment(ProcessEnvironment());
    process.setWorkingDirectory(m_pDir->Path());
    process.start(TolvexBinary(), {QStringLiteral("--simulate=2,5")});
    QVERIFY2(process.waitForStarted(30000), qPrintable(process.errorString()));

    QString strPty;
    const QRegularExpression reLine(QStringLiteral("simulated modules 2,5 on (\\S+) \\(COM1\\)"));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 30000);
    const QString strLine = QString::fromLocal8Bit(process.readLine());
    const QRegularExpressionMatch match = reLine.match(strLine);
    QVERIFY2(match.hasMatch(), qPrintable(strLine));
    strPty = match.captured(1);
    QVERIFY(QFile::exists(strPty));
    QCOMPARE(process.state(), QProcess::Running);

    process.terminate();
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(QFile::exists(CParamsManager::DefaultSettingsFile()));
}

void SystemTest::executableCyclesTabsAndCloses()
{
    QProcess process;
    process.setProcessEnvironment(ProcessEnvironment());
    process.setWorkingDirectory(m_pDir->Path());
    process.start(TolvexBinary(), {QStringLiteral("--simulate"), QStringLiteral("--cycle-tabs")});
    QVERIFY(process.waitForStarted(30000));
    QVERIFY(process.waitForFinished(90000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString strOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(strOut.contains(QStringLiteral("simulated modules 1,3,17")), qPrintable(strOut));
}

void SystemTest::badArgumentsAreRefused()
{
    for (const QString& strArg : {QStringLiteral("--simulate=1,x"), QStringLiteral("--bogus")}) {
        QProcess process;
        process.setProcessEnvironment(ProcessEnvironment());
        process.start(TolvexBinary(), {strArg});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("usage: tolvex"));
    }
}

QTEST_MAIN(SystemTest)
#include "SystemTest.moc"
