#include "app/MainFrame.h"
#include "app/TabSheet.h"
#include "app/TolvexApp.h"
#include "app/TolvexView.h"
#include "curves/HistoryCoefDialog.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "link/BusLink.h"
#include "link/ComSettingDialog.h"
#include "settings/BackgroundColorFile.h"
#include "settings/ParamsManager.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"
#include "sim/PtySimulator.h"
#include "uikit/TabPage.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>
#include <memory>

namespace {

// Runs fnAct on the next modal dialog of type T once it is up.
template <typename T> void OnNextModal(std::function<void(T*)> fnAct)
{
    auto* pTimer = new QTimer(qApp);
    pTimer->setInterval(20);
    QObject::connect(pTimer, &QTimer::timeout, qApp, [pTimer, fnAct] {
        if (auto* pDialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            fnAct(pDialog);
        }
    });
    pTimer->start();
}

QByteArray ReadStored(const QString& strFile, const char* pszName, int nLen)
{
    CParamsManager params;
    params.OpenSettingsKey(strFile, QString::fromLatin1(CSettingsStore::kGroup));
    QByteArray data(nLen, '\0');
    if (!params.ReadSetting(QString::fromLatin1(pszName), data.data(), nLen))
        return QByteArray();
    return data;
}

void WriteStored(const QString& strFile, const char* pszName, const QByteArray& data)
{
    CParamsManager params;
    params.OpenSettingsKey(strFile, QString::fromLatin1(CSettingsStore::kGroup));
    QVERIFY(params.WriteSetting(QString::fromLatin1(pszName), data.constData(), int(data.size())));
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The six values in the order the view hands them to the two curve pages.
QList<int> RangesOf(const PlotSettings& s)
{
    return {s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions,
            s.m_nHistoryMax,  s.m_nHistoryMin,  s.m_nHistoryDivisions};
}

} // namespace

class AppTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartWritesDefaults();
    void wrongSizedComSettingsIsReplacedAndPlotSettingsKept();
    void settingsOfWrongTypeFallBackToDefaults();
    void unreadableSettingsFileStillStarts();
    void secondNewDocumentCreatesNothingTwice();
    void titleStaysFixed();
    void frameRefusesHeightUnder850();
    void saveCurveDataItemFollowsTab();
    void tabsSwitchByClickAndKeyboard();
    void seventeenthPageIsRefused();
    void printsShownPageToPdf();
    void backgroundColourCommandsWriteParamSdt();
    void backgroundColourIsReadAtStart_data();
    void backgroundColourIsReadAtStart();
    void comSettingsDialogStoresSettingsAndDevice();
    void simulatedDeviceIsNotStored();
    void curveParamsAreStoredAndApplied();
    void statusTextGoesToPaneZero();
    void menusHoldTheirItems();
    void aboutBoxShowsVersionAndBuildTime();
    void toolbarTextsReadOnTheBand();
    void backgroundColourReachesMenus();
    void longTabTitlesAreCutNotScrolled();
    void editKeysActOnTheFocusedField();
    void f6MovesBetweenTabRowAndPage();
    void ctrlSSavesAnEmptyDocument();

private:
    void Start();
    CTolvexView* View() const { return m_pApp->MainFrame()->View(); }
    CMainFrame* Frame() const { return m_pApp->MainFrame(); }
    QList<int> PageRanges() const
    {
        const CPlotDisplayDialog* pPlot = View()->PlotPage();
        const CHistoryDialog* pHistory = View()->HistoryPage();
        return {pPlot->MaxY(),    pPlot->MinY(),    pPlot->DivY(),
                pHistory->MaxY(), pHistory->MinY(), pHistory->DivY()};
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_strOldCwd;
    QString m_strSettingsFile;
    std::unique_ptr<CTolvexApp> m_pApp;
};

void AppTest::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_pDir->filePath(QStringLiteral("config"))));
    m_strOldCwd = QDir::currentPath();
    QDir::setCurrent(m_pDir->path());
    m_strSettingsFile = CParamsManager::DefaultSettingsFile();
    QVERIFY(m_strSettingsFile.startsWith(m_pDir->path()));
}

void AppTest::cleanup()
{
    m_pApp.reset();
    QDir::setCurrent(m_strOldCwd);
    m_pDir.reset();
}

void AppTest::Start()
{
    // The first page opens the bus when it shows: on a simulated bus, so that
    // no test depends on the machine's serial ports.
    CTolvexApp::Options options;
    options.m_bSimulate = true;
    m_pApp = std::make_unique<CTolvexApp>(options);
    QString strError;
    QVERIFY2(m_pApp->InitInstance(strError), qPrintable(strError));
    QVERIFY(QTest::qWaitForWindowExposed(Frame()));
}

void AppTest::firstStartWritesDefaults()
{
    QVERIFY(!QFile::exists(m_strSettingsFile));
    Start();

    QCOMPARE(ReadStored(m_strSettingsFile, "ComSettings", 20), ComSettings().ToBytes());
    QCOMPARE(ReadStored(m_strSettingsFile, "PlotSettings", 24), PlotSettings().ToBytes());
    QCOMPARE(View()->TabSheet()->CurrentPage(), 0);
    QVERIFY(View()->Page(0)->isVisible());
    // The parameter page needs the bus and opens it when it is shown.
    QVERIFY(View()->IsPortOpen());
    QCOMPARE(View()->BusLink().OpenDevice(), m_pApp->Simulator()->SlavePath());
    QVERIFY(QFileInfo(m_pApp->ProgramFolder() + QStringLiteral("数据文件")).isDir());
    QVERIFY(QFileInfo(m_pApp->ProgramFolder() + QStringLiteral("文本文件")).isDir());

    // The folders are there now: a second start goes on silently.
    m_pApp.reset();
    Start();
    QVERIFY(View()->IsReady());
}

void AppTest::wrongSizedComSettingsIsReplacedAndPlotSettingsKept()
{
    WriteStored(m_strSettingsFile, "ComSettings", QByteArray(24, '\x05'));
    PlotSettings stored;
    stored.m_nRealTimeMax = 500;
    stored.m_nRealTimeMin = -7;
    stored.m_nRealTimeDivisions = 9;
    stored.m_nHistoryMax = 42;
    stored.m_nHistoryMin = 41;
    stored.m_nHistoryDivisions = 1;
    WriteStored(m_strSettingsFile, "PlotSettings", stored.ToBytes());

    Start();
    QCOMPARE(View()->m_comSettings, ComSettings());
    QCOMPARE(ReadStored(m_strSettingsFile, "ComSettings", 20), ComSettings().ToBytes());
    QCOMPARE(View()->m_plotSettings, stored);
    QCOMPARE(ReadStored(m_strSettingsFile, "PlotSettings", 24), stored.ToBytes());
    QCOMPARE(PageRanges(), RangesOf(stored));
}

void AppTest::settingsOfWrongTypeFallBackToDefaults()
{
    QDir().mkpath(QFileInfo(m_strSettingsFile).path());
    {
        QSettings settings(m_strSettingsFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Params/ComSettings"), 12345);
        settings.setValue(QStringLiteral("Params/PlotSettings"), QStringLiteral("not bytes"));
        settings.setValue(QStringLiteral("PortMap/COM7"), QStringLiteral("/dev/ttyUSB3"));
    }
    Start();
    QCOMPARE(View()->m_comSettings, ComSettings());
    QCOMPARE(View()->m_plotSettings, PlotSettings());
    QCOMPARE(ReadStored(m_strSettingsFile, "ComSettings", 20), ComSettings().ToBytes());
    QCOMPARE(ReadStored(m_strSettingsFile, "PlotSettings", 24), PlotSettings().ToBytes());
    // Other settings survive the rewrite.
    QCOMPARE(View()->PortMap().DeviceFor(7), QStringLiteral("/dev/ttyUSB3"));
}

void AppTest::unreadableSettingsFileStillStarts()
{
    // A folder where the file should be: nothing can be read or written.
    QVERIFY(QDir().mkpath(m_strSettingsFile));
    Start();
    QCOMPARE(View()->m_comSettings, ComSettings());
    QCOMPARE(View()->m_plotSettings, PlotSettings());
    QCOMPARE(View()->TabSheet()->PageCount(), 6);
    QVERIFY(View()->Page(0)->isVisible());
    QVERIFY(QFileInfo(m_strSettingsFile).isDir());

    OnNextModal<CHistoryCoefDialog>([](CHistoryCoefDialog* pDialog) { pDialog->accept(); });
    View()->OnCurveParams();
    QCOMPARE(View()->m_plotSettings, PlotSettings());
}

void AppTest::secondNewDocumentCreatesNothingTwice()
{
    Start();
    CTabPage* pFirst = View()->Page(0);
    QCOMPARE(View()->findChildren<CTabPage*>().size(), 6);

    // Settings changed behind the tool's back are not read again.
    PlotSettings changed;
    changed.m_nRealTimeMax = 1;
    WriteStored(m_strSettingsFile, "PlotSettings", changed.ToBytes());
    View()->TabSheet()->TabBar()->setCurrentIndex(3);

    QTest::keyClick(Frame(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(Frame(), Qt::Key_N, Qt::ControlModifier);

    QCOMPARE(View()->findChildren<CTabPage*>().size(), 6);
    QCOMPARE(View()->TabSheet()->PageCount(), 6);
    QCOMPARE(View()->TabSheet()->TabBar()->count(), 6);
    QCOMPARE(View()->Page(0), pFirst);
    QCOMPARE(View()->TabSheet()->CurrentPage(), 3);
    QCOMPARE(View()->PlotPage()->MaxY(), 100);
}

void AppTest::titleStaysFixed()
{
    Start();
    const QString strTitle = QStringLiteral("高速Tolvex测试软件");
    QCOMPARE(Frame()->windowTitle(), strTitle);
    Frame()->setWindowTitle(QStringLiteral("无标题 - Tolvex"));
    QCOMPARE(Frame()->windowTitle(), strTitle);
    Frame()->OnNewDocument();
    QCOMPARE(Frame()->windowTitle(), strTitle);
    Frame()->setWindowFilePath(m_pDir->filePath(QStringLiteral("a.doc")));
    QCOMPARE(Frame()->windowTitle(), strTitle);
}

void AppTest::frameRefusesHeightUnder850()
{
    Start();
    QCOMPARE(Frame()->minimumHeight(), 850);
    QCOMPARE(Frame()->minimumWidth(), 150);
    Frame()->showNormal();
    Frame()->resize(100, 300);
    QCOMPARE(Frame()->height(), 850);
    QCOMPARE(Frame()->width(), 150);
    Frame()->resize(900, 1000);
    QCOMPARE(Frame()->height(), 1000);
    // The tab sheet keeps filling the view.
    QTRY_COMPARE(View()->TabSheet()->size(), View()->size());
}

void AppTest::saveCurveDataItemFollowsTab()
{
    Start();
    QMenu* pMenu = Frame()->FileMenu();
    QAction* pItem = Frame()->SaveCurveDataAction();
    QCOMPARE(pItem->text(), QStringLiteral("保存曲线数据"));
    for (int nTab : {2, 0, 1, 3, 4, 5, 2}) {
        View()->TabSheet()->TabBar()->setCurrentIndex(nTab);
        emit pMenu->aboutToShow();
        QCOMPARE(pItem->text(), QStringLiteral("菜单测试"));
        QCOMPARE(pItem->isEnabled(), nTab == 2);
        QCOMPARE(pItem->isChecked(), nTab == 2);
    }
}

void AppTest::tabsSwitchByClickAndKeyboard()
{
    Start();
    CTabSheet* pSheet = View()->TabSheet();
    QTabBar* pBar = pSheet->TabBar();
    const QStringList arrLabels = {"参数设置和标定", "多路数据显示", "实时曲线",
                                   "历史曲线",       "串口调试",     "远程监控"};
    QCOMPARE(pBar->count(), arrLabels.size());
    for (int i = 0; i < arrLabels.size(); ++i)
        QCOMPARE(pBar->tabText(i), arrLabels[i]);
    QCOMPARE(pSheet->TemplateId(4), 133);
    QCOMPARE(pSheet->TemplateId(5), 156);

    auto shownPages = [&] {
        QList<int> arrShown;
        for (int i = 0; i < 6; ++i)
            if (View()->Page(i)->isVisible())
                arrShown.append(i);
        return arrShown;
    };
    QCOMPARE(shownPages(), QList<int>{0});

    QSignalSpy spy(pSheet, &CTabSheet::PageChanged);
    QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(3).center());
    QCOMPARE(shownPages(), QList<int>{3});
    QCOMPARE(spy.count(), 1);

    // The shown tab again: nothing changes.
    QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(3).center());
    QCOMPARE(spy.count(), 1);

    pBar->setFocus();
    QTest::keyClick(pBar, Qt::Key_Right);
    QCOMPARE(pSheet->CurrentPage(), 4);
    QCOMPARE(shownPages(), QList<int>{4});
    QTest::keyClick(pBar, Qt::Key_Left);
    QTest::keyClick(pBar, Qt::Key_Left);
    QCOMPARE(shownPages(), QList<int>{2});

    // Pages sit below the tabs and inside the sheet.
    const QRect rcPage = View()->Page(2)->geometry();
    QVERIFY(rcPage.top() > pBar->tabRect(2).bottom());
    QVERIFY(pSheet->rect().contains(rcPage));
}

void AppTest::seventeenthPageIsRefused()
{
    CTabSheet sheet;
    QWidget arrPages[17];
    for (int i = 0; i < 16; ++i)
        QVERIFY(sheet.AddTabPage(QString::number(i), &arrPages[i], 200 + i));
    QVERIFY(!sheet.AddTabPage(QStringLiteral("17"), &arrPages[16], 999));
    QCOMPARE(sheet.PageCount(), 16);
    QCOMPARE(sheet.Page(15), &arrPages[15]);
    QCOMPARE(sheet.TemplateId(15), 215);
    QCOMPARE(sheet.Page(16), nullptr);

    sheet.resize(400, 300);
    sheet.CreatePages();
    sheet.show();
    QCOMPARE(sheet.TabBar()->count(), 16);
    QVERIFY(arrPages[0].isVisible());
    QVERIFY(!arrPages[1].isVisible());
    QVERIFY(!arrPages[16].isVisible());
    for (QWidget& page : arrPages)
        page.setParent(nullptr);
}

void AppTest::printsShownPageToPdf()
{
    Start();
    View()->TabSheet()->TabBar()->setCurrentIndex(5);
    const QString strPdf = m_pDir->filePath(QStringLiteral("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(strPdf);
    QVERIFY(Frame()->PrintTo(&printer));
    const QByteArray pdf = ReadFile(strPdf);
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY(pdf.size() > 500);

    // Printing to a place that cannot be written fails instead of crashing.
    QPrinter badPrinter(QPrinter::HighResolution);
    badPrinter.setOutputFormat(QPrinter::PdfFormat);
    badPrinter.setOutputFileName(m_pDir->filePath(QStringLiteral("no/such/dir/page.pdf")));
    QVERIFY(!Frame()->PrintTo(&badPrinter));
}

void AppTest::backgroundColourCommandsWriteParamSdt()
{
    Start();
    const QString strSdt = m_pDir->filePath(QStringLiteral("Param.sdt"));
    QVERIFY(!QFile::exists(strSdt));

    OnNextModal<QColorDialog>([](QColorDialog* pDialog) {
        QCOMPARE(pDialog->currentColor(), QColor(Qt::black));
        pDialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
        pDialog->accept();
    });
    View()->OnBackgroundColor();
    QCOMPARE(ReadFile(strSdt), QByteArray("\x12\x34\x56\x00", 4));
    QCOMPARE(View()->m_crBackground, 0x563412u);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(View()->Page(i)->palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
    QCOMPARE(View()->TabSheet()->palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));

    // Cancel keeps the colour and the file.
    OnNextModal<QColorDialog>([](QColorDialog* pDialog) { pDialog->reject(); });
    View()->OnBackgroundColor();
    QCOMPARE(ReadFile(strSdt), QByteArray("\x12\x34\x56\x00", 4));

    View()->OnDefaultBackgroundColor();
    QCOMPARE(ReadFile(strSdt), QByteArray("\xB0\xC0\xFF\x00", 4));
    QCOMPARE(View()->Page(3)->palette().color(QPalette::Window), QColor(176, 192, 255));
}

void AppTest::backgroundColourIsReadAtStart_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("bMakeFile");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("stored") << QByteArray("\x10\x20\x30\x00", 4) << true
                            << QColor(0x10, 0x20, 0x30);
    QTest::newRow("three bytes") << QByteArray("\x10\x20\x30", 3) << true << QColor(176, 192, 255);
    QTest::newRow("empty") << QByteArray() << true << QColor(176, 192, 255);
    QTest::newRow("missing") << QByteArray() << false << QColor(176, 192, 255);
}

void AppTest::backgroundColourIsReadAtStart()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, bMakeFile);
    QFETCH(QColor, expected);
    if (bMakeFile) {
        QFile file(m_pDir->filePath(QStringLiteral("Param.sdt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Start();
    QCOMPARE(View()->m_brBackground.color(), expected);
    QCOMPARE(View()->Page(0)->palette().color(QPalette::Window), expected);
    QCOMPARE(View()->Page(5)->BackgroundBrush().color(), expected);
}

void AppTest::comSettingsDialogStoresSettingsAndDevice()
{
    Start();
    const QString strDevice = m_pDir->filePath(QStringLiteral("no-such-tty"));
    OnNextModal<CComSettingDialog>([strDevice](CComSettingDialog* pDialog) {
        auto* pPort = pDialog->findChild<QComboBox*>(QStringLiteral("comboPort"));
        auto* pBaud = pDialog->findChild<QComboBox*>(QStringLiteral("comboBaud"));
        QVERIFY(pPort && pBaud);
        pPort->setCurrentIndex(11);
        pBaud->setCurrentText(QStringLiteral("921600"));
        auto* pDevice = pDialog->findChild<QComboBox*>(QStringLiteral("comboDevice"));
        QVERIFY(pDevice);
        pDevice->setEditText(strDevice);
        pDialog->accept();
    });
    QTest::mouseClick(Frame()->ToolBar()->widgetForAction(Frame()->ComSettingsAction()),
                      Qt::LeftButton);
    QTRY_COMPARE(View()->m_comSettings.m_nPort, 12);

    QCOMPARE(View()->m_comSettings.m_nBaud, 921600);
    ComSettings stored;
    QVERIFY(stored.FromBytes(ReadStored(m_strSettingsFile, "ComSettings", 20)));
    QCOMPARE(stored, View()->m_comSettings);
    QCOMPARE(CPortMap(m_strSettingsFile).DeviceFor(12), strDevice);
    // The reopen failed quietly: no box came up and the port is closed.
    QVERIFY(!View()->IsPortOpen());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // Cancel changes nothing.
    OnNextModal<CComSettingDialog>([](CComSettingDialog* pDialog) {
        pDialog->findChild<QComboBox*>(QStringLiteral("comboPort"))->setCurrentIndex(2);
        pDialog->reject();
    });
    View()->OnComSettings();
    QCOMPARE(View()->m_comSettings.m_nPort, 12);
    QVERIFY(stored.FromBytes(ReadStored(m_strSettingsFile, "ComSettings", 20)));
    QCOMPARE(stored.m_nPort, 12);
}

void AppTest::simulatedDeviceIsNotStored()
{
    auto pView = new CTolvexView(m_strSettingsFile);
    CMainFrame frame(pView);
    const QString strSim = m_pDir->filePath(QStringLiteral("sim-tty"));
    pView->SetSimulatedDevice(strSim);
    frame.OnNewDocument();
    QCOMPARE(pView->DeviceFor(1), strSim);
    QCOMPARE(pView->BusLink().DeviceForPort(1), strSim);
    QCOMPARE(pView->DeviceFor(2), QString());

    OnNextModal<CComSettingDialog>([strSim](CComSettingDialog* pDialog) {
        QCOMPARE(pDialog->Device(), strSim);
        pDialog->accept();
    });
    pView->OnComSettings();
    QCOMPARE(CPortMap(m_strSettingsFile).DeviceFor(1), QString());
    QCOMPARE(pView->DeviceFor(1), strSim);
}

void AppTest::curveParamsAreStoredAndApplied()
{
    Start();
    OnNextModal<CHistoryCoefDialog>([](CHistoryCoefDialog* pDialog) {
        const char* arrNames[] = {"editRealTimeMax", "editRealTimeMin", "editRealTimeDivisions",
                                  "editHistoryMax",  "editHistoryMin",  "editHistoryDivisions"};
        const char* arrShown[] = {"100", "-100", "20", "100", "-100", "20"};
        const char* arrValues[] = {"300", "-300", "30", "50", "50", "100"};
        for (int i = 0; i < 6; ++i) {
            auto* pEdit = pDialog->findChild<QLineEdit*>(QString::fromLatin1(arrNames[i]));
            QVERIFY(pEdit);
            QCOMPARE(pEdit->text(), QString::fromLatin1(arrShown[i]));
            pEdit->setText(QString::fromLatin1(arrValues[i]));
        }
        pDialog->accept();
    });
    View()->OnCurveParams();

    PlotSettings expected;
    expected.m_nRealTimeMax = 300;
    expected.m_nRealTimeMin = -300;
    expected.m_nRealTimeDivisions = 30;
    expected.m_nHistoryMax = 50;
    expected.m_nHistoryMin = 50;
    expected.m_nHistoryDivisions = 100;
    QCOMPARE(View()->m_plotSettings, expected);
    QCOMPARE(ReadStored(m_strSettingsFile, "PlotSettings", 24), expected.ToBytes());
    QCOMPARE(PageRanges(), RangesOf(expected));

    OnNextModal<CHistoryCoefDialog>([](CHistoryCoefDialog* pDialog) { pDialog->reject(); });
    View()->OnCurveParams();
    QCOMPARE(View()->m_plotSettings, expected);
}

void AppTest::statusTextGoesToPaneZero()
{
    Start();
    QCOMPARE(Frame()->MessageText(), QStringLiteral("就绪"));
    View()->SetStatusText(QStringLiteral("文件已打开"));
    QCOMPARE(Frame()->MessageText(), QStringLiteral("文件已打开"));
    // A view outside a frame has no status bar: nothing happens.
    CTolvexView loose(m_strSettingsFile);
    loose.SetStatusText(QStringLiteral("x"));
    QCOMPARE(Frame()->MessageText(), QStringLiteral("文件已打开"));
}

void AppTest::menusHoldTheirItems()
{
    Start();
    QStringList arrMenus;
    QStringList arrItems;
    for (QAction* pMenuAction : Frame()->menuBar()->actions()) {
        arrMenus.append(pMenuAction->text());
        for (QAction* pItem : pMenuAction->menu()->actions())
            arrItems.append(pItem->isSeparator() ? QStringLiteral("-")
                            : pItem->isEnabled() || pItem->menu()
                                ? pItem->text()
                                : QStringLiteral("~") + pItem->text());
    }
    QCOMPARE(arrMenus, (QStringList{"文件(&F)", "编辑(&E)", "查看(&V)", "帮助(&H)", "设置(&S)"}));
    QCOMPARE(arrItems, (QStringList{"导入参数(&I)", "导出参数(&E)", "-", "保存曲线数据",
                                    "打印设置(&R)...", "退出(&X)", "~撤消(&U)\tCtrl+Z", "-",
                                    "~剪切(&T)\tCtrl+X", "~复制(&C)\tCtrl+C", "~粘贴(&P)\tCtrl+V",
                                    "工具栏(&T)", "状态栏(&S)", "关于 Tolvex测试软件(&A)...",
                                    "背景色", "默认背景色", "串口设置", "-", "曲线参数"}));
    const QStringList arrTools = {Frame()->ToolBar()->actions().at(0)->text(),
                                  Frame()->ToolBar()->actions().at(1)->text()};
    QCOMPARE(arrTools, (QStringList{"串口", "打印"}));
    QCOMPARE(Frame()->PrintAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QVERIFY(!Frame()->ComSettingsAction()->icon().isNull());
    QVERIFY(!Frame()->PrintAction()->icon().isNull());
    QVERIFY(!Frame()->windowIcon().isNull());

    QMenu* pViewMenu = Frame()->menuBar()->actions().at(2)->menu();
    pViewMenu->actions().at(0)->trigger();
    QVERIFY(!Frame()->ToolBar()->isVisible());
    pViewMenu->actions().at(1)->trigger();
    QVERIFY(!Frame()->statusBar()->isVisible());
    pViewMenu->actions().at(0)->trigger();
    QVERIFY(Frame()->ToolBar()->isVisible());
}

void AppTest::aboutBoxShowsVersionAndBuildTime()
{
    Start();
    QString strTitle;
    QString strText;
    QString strBuilt;
    OnNextModal<QMessageBox>([&](QMessageBox* pBox) {
        strTitle = pBox->windowTitle();
        strText = pBox->text();
        strBuilt = pBox->informativeText();
        pBox->accept();
    });
    QMenu* pHelpMenu = Frame()->menuBar()->actions().at(3)->menu();
    pHelpMenu->actions().at(0)->trigger();
    QCOMPARE(strTitle, QStringLiteral("关于 Tolvex测试软件"));
    QCOMPARE(strText, QStringLiteral("Tolvex测试软件 2.0 版"));
    // As the compiler writes it: "Mmm dd yyyy hh:mm:ss".
    const QRegularExpression reBuilt(QStringLiteral("^[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                                                    "[0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    QVERIFY2(reBuilt.match(strBuilt).hasMatch(), qPrintable(strBuilt));
}

namespace {

int Luminance(QRgb rgb)
{
    return (qRed(rgb) * 299 + qGreen(rgb) * 587 + qBlue(rgb) * 114) / 1000;
}

// The colour most pixels of the image have.
QColor DominantColour(const QImage& image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000];
    QRgb best = 0;
    int nBest = -1;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > nBest) {
            best = it.key();
            nBest = it.value();
        }
    return QColor(best);
}

} // namespace

void AppTest::toolbarTextsReadOnTheBand()
{
    Start();
    for (QAction* pAction : {Frame()->ComSettingsAction(), Frame()->PrintAction()}) {
        QWidget* pButton = Frame()->ToolBar()->widgetForAction(pAction);
        QVERIFY(pButton);
        const QImage image = Frame()->ToolBar()->grab(pButton->geometry()).toImage();
        // The band behind the button is light, and the text line under the
        // icon holds dark pixels: the words can be read.
        qint64 nSum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                nSum += Luminance(image.pixel(x, y));
        QVERIFY2(nSum / (image.width() * image.height()) > 170, qPrintable(pAction->text()));
        int nDark = 0;
        for (int y = image.height() / 2; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                nDark += Luminance(image.pixel(x, y)) < 90 ? 1 : 0;
        QVERIFY2(nDark > 10, qPrintable(pAction->text()));
    }
}

void AppTest::backgroundColourReachesMenus()
{
    Start();
    OnNextModal<QColorDialog>([](QColorDialog* pDialog) {
        pDialog->setCurrentColor(QColor(0xC8, 0xE6, 0xA0));
        pDialog->accept();
    });
    View()->OnBackgroundColor();
    const QColor expected(0xC8, 0xE6, 0xA0);

    QCOMPARE(DominantColour(Frame()->menuBar()->grab().toImage()), expected);
    for (QAction* pMenuAction : Frame()->menuBar()->actions()) {
        QMenu* pMenu = pMenuAction->menu();
        pMenu->popup(Frame()->mapToGlobal(QPoint(20, 20)));
        QVERIFY(QTest::qWaitForWindowExposed(pMenu));
        const QColor shown = DominantColour(pMenu->grab().toImage());
        pMenu->hide();
        QCOMPARE(shown, expected);
    }
}

void AppTest::longTabTitlesAreCutNotScrolled()
{
    Start();
    QTabBar* pBar = View()->TabSheet()->TabBar();
    QCOMPARE(pBar->elideMode(), Qt::ElideRight);
    QVERIFY(!pBar->usesScrollButtons());
    pBar->setTabText(0, QStringLiteral("参数设置和标定参数设置和标定参数设置和标定参数设置和标定"));
    Frame()->resize(420, Frame()->height());
    QTRY_VERIFY(pBar->width() <= 420);
    // Every tab stays inside the row: titles are shortened, none scrolls out.
    for (int i = 0; i < pBar->count(); ++i)
        QVERIFY2(pBar->tabRect(i).right() < pBar->width() + 1, qPrintable(QString::number(i)));
}

void AppTest::editKeysActOnTheFocusedField()
{
    Start();
    View()->TabSheet()->TabBar()->setCurrentIndex(CTolvexView::kTabRemote);
    auto* pEdit = new QLineEdit(View()->Page(CTolvexView::kTabRemote));
    pEdit->show();
    pEdit->setFocus();
    QTRY_VERIFY(pEdit->hasFocus());

    QApplication::clipboard()->setText(QStringLiteral("1234"));
    QTest::keyClick(pEdit, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(pEdit->text(), QStringLiteral("1234"));
    pEdit->setSelection(0, 2);
    QTest::keyClick(pEdit, Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("12"));
    pEdit->setSelection(2, 2);
    QTest::keyClick(pEdit, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(pEdit->text(), QStringLiteral("12"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("34"));
    QTest::keyClick(pEdit, Qt::Key_Backspace, Qt::AltModifier);
    QCOMPARE(pEdit->text(), QStringLiteral("1234"));
}

void AppTest::f6MovesBetweenTabRowAndPage()
{
    Start();
    View()->TabSheet()->TabBar()->setCurrentIndex(CTolvexView::kTabRemote);
    auto* pEdit = new QLineEdit(View()->Page(CTolvexView::kTabRemote));
    pEdit->show();
    pEdit->setFocus();
    QTRY_VERIFY(pEdit->hasFocus());
    QTest::keyClick(Frame(), Qt::Key_F6);
    QTRY_VERIFY(View()->TabSheet()->TabBar()->hasFocus());
    QTest::keyClick(Frame(), Qt::Key_F6, Qt::ShiftModifier);
    QTRY_VERIFY(pEdit->hasFocus());
}

void AppTest::ctrlSSavesAnEmptyDocument()
{
    Start();
    const QString strFile = m_pDir->filePath(QStringLiteral("doc.tvx"));
    OnNextModal<QFileDialog>([strFile](QFileDialog* pDialog) {
        // Typed as a user would: selectFile may be lost while the dialog's
        // folder model is still loading.
        auto* pName = pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(pName);
        pName->setText(strFile);
        QMetaObject::invokeMethod(pDialog, "accept");
    });
    QTest::keyClick(Frame(), Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(QFile::exists(strFile));
    QCOMPARE(QFileInfo(strFile).size(), qint64(0));
    QCOMPARE(Frame()->windowTitle(), CMainFrame::FixedTitle());
}

QTEST_MAIN(AppTest)
#include "AppTest.moc"
