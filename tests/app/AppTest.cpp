#include "AppRig.h"
#include "TestFiles.h"
#include "app/DialogSizer.h"
#include "curves/HistoryCoefDialog.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "link/BusLink.h"
#include "link/ComSettingDialog.h"
#include "recording/WeightRecord.h"
#include "session/Session.h"
#include "settings/BackgroundColorFile.h"
#include "settings/ParamsManager.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"
#include "sim/PtySimulator.h"
#include "uikit/TabPage.h"

#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>

namespace {

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

    void startReadsTheSettingsAndOpensTheSimulatedBus();
    void unreadableSettingsFileStillStarts();
    void secondNewDocumentCreatesNothingTwice();
    void titleStaysFixed();
    void frameRefusesHeightUnder850();
    void saveCurveDataItemFollowsTab();
    void tabsSwitchByClickAndKeyboard();
    void seventeenthPageIsRefused();
    void printsShownPageToPdf();
    void printPreviewOpensAtWindowSizeFittedToWidth();
    void backgroundColourCommandsWriteParamSdt();
    void backgroundColourIsReadAtStart_data();
    void backgroundColourIsReadAtStart();
    void comSettingsDialogStoresSettingsAndDevice();
    void curveParamsAreStoredAndApplied();
    void statusTextGoesToPaneZeroAndClearsWithThePage();
    void openOnTheHistoryTabLoadsADataFile();
    void menusHoldTheirItems();
    void aboutBoxShowsVersionAndBuildTime();
    void qtDialogsSpeakChinese();
    void toolbarTextsReadOnTheBand();
    void backgroundColourReachesMenus();
    void disabledMenuItemsStayReadable_data();
    void disabledMenuItemsStayReadable();
    void longTabTitlesAreCutNotScrolled();
    void editKeysActOnTheFocusedField();
    void f6MovesBetweenTabRowAndPage();
    void ctrlSSavesAnEmptyDocument();

private:
    void Start(int nTab = 0);
    CTolvexView* View() const { return m_pApp->View(); }
    CMainFrame* Frame() const { return m_pApp->MainFrame(); }
    CSession& Session() const { return *m_pApp->Session(); }
    QList<int> PageRanges() const
    {
        const CPlotDisplayDialog* pPlot = View()->PlotPage();
        const CHistoryDialog* pHistory = View()->HistoryPage();
        return {pPlot->MaxY(),    pPlot->MinY(),    pPlot->DivY(),
                pHistory->MaxY(), pHistory->MinY(), pHistory->DivY()};
    }

    std::unique_ptr<CTempSettings> m_pDir;
    QString m_strSettingsFile;
    std::unique_ptr<CTolvexApp> m_pApp;
};

void AppTest::init()
{
    m_pDir = std::make_unique<CTempSettings>();
    QVERIFY(m_pDir->IsValid());
    m_strSettingsFile = CParamsManager::DefaultSettingsFile();
    QCOMPARE(m_strSettingsFile, m_pDir->SettingsFile());
}

void AppTest::cleanup()
{
    m_pApp.reset();
    m_pDir.reset();
}

void AppTest::Start(int nTab)
{
    // The first page opens the bus when it shows: on a simulated bus, so that
    // no test depends on the machine's serial ports.
    QString strError;
    m_pApp = StartOnTab(nTab, strError);
    QVERIFY2(m_pApp, qPrintable(strError));
}

void AppTest::startReadsTheSettingsAndOpensTheSimulatedBus()
{
    // How the store reads and repairs the records is the settings test's; here
    // the window starts from what is stored and hands it to the pages.
    PlotSettings stored;
    stored.m_nRealTimeMax = 500;
    stored.m_nRealTimeMin = -7;
    stored.m_nRealTimeDivisions = 9;
    stored.m_nHistoryMax = 42;
    stored.m_nHistoryMin = 41;
    stored.m_nHistoryDivisions = 1;
    WriteStored(m_strSettingsFile, "PlotSettings", stored.ToBytes());
    WriteStored(m_strSettingsFile, "ComSettings", QByteArray(24, '\x05'));
    Start();

    // A record that could not be read is written back with its default.
    QCOMPARE(ReadStored(m_strSettingsFile, "ComSettings", 20), ComSettings().ToBytes());
    QCOMPARE(Session().GetPlotSettings(), stored);
    QCOMPARE(PageRanges(), RangesOf(stored));
    QCOMPARE(View()->TabSheet()->CurrentPage(), 0);
    QVERIFY(View()->Page(0)->isVisible());
    // The parameter page needs the bus and opens it when it is shown.
    QVERIFY(View()->Context().IsPortOpen());
    QCOMPARE(Session().BusLink().OpenDevice(), m_pApp->Simulator()->SlavePath());
    QVERIFY(QFileInfo(m_pApp->ProgramFolder() + QStringLiteral("数据文件")).isDir());
    QVERIFY(QFileInfo(m_pApp->ProgramFolder() + QStringLiteral("文本文件")).isDir());

    // The folders are there now: a second start goes on silently.
    m_pApp.reset();
    Start();
    QVERIFY(View()->IsReady());
}

void AppTest::unreadableSettingsFileStillStarts()
{
    // A folder where the file should be: nothing can be read or written.
    QVERIFY(QDir().mkpath(m_strSettingsFile));
    Start();
    QCOMPARE(Session().PortSettings(), ComSettings());
    QCOMPARE(Session().GetPlotSettings(), PlotSettings());
    QCOMPARE(View()->TabSheet()->PageCount(), 6);
    QVERIFY(View()->Page(0)->isVisible());
    QVERIFY(QFileInfo(m_strSettingsFile).isDir());

    OnNextModal<CHistoryCoefDialog>([](CHistoryCoefDialog* pDialog) { pDialog->accept(); });
    View()->OnCurveParams();
    QCOMPARE(Session().GetPlotSettings(), PlotSettings());
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
    Frame()->setWindowFilePath(m_pDir->FilePath(QStringLiteral("a.doc")));
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
    const QString strPdf = m_pDir->FilePath(QStringLiteral("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(strPdf);
    QString strError;
    QVERIFY2(View()->PrintTo(&printer, strError), qPrintable(strError));
    const QByteArray pdf = ReadFile(strPdf);
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY(pdf.size() > 500);
    QCOMPARE(QDir(m_pDir->Path()).entryList({"page.pdf*"}), QStringList({"page.pdf"}));

    // A place that cannot be written, or a disk that fills: a reason, and the
    // earlier PDF stays whole with nothing left beside it.
    QVERIFY(WriteFile(m_pDir->FilePath(QStringLiteral("plain")), "x"));
    const QStringList arrFaults = {"missing folder", "below a plain file", "full disk",
                                   "unwritable folder"};
    for (const QString& strFault : arrFaults) {
        QString strTarget = strPdf;
        if (strFault == "missing folder")
            strTarget = m_pDir->FilePath(QStringLiteral("no/such/dir/page.pdf"));
        else if (strFault == "below a plain file")
            strTarget = m_pDir->FilePath(QStringLiteral("plain/page.pdf"));
        QPrinter badPrinter(QPrinter::HighResolution);
        badPrinter.setOutputFormat(QPrinter::PdfFormat);
        badPrinter.setOutputFileName(strTarget);
        strError.clear();
        bool bPrinted = true;
        if (strFault == "full disk") {
            CFileSizeLimit limit(pdf.size() / 2);
            QVERIFY(limit.IsSet());
            bPrinted = View()->PrintTo(&badPrinter, strError);
        } else if (strFault == "unwritable folder") {
            CUnwritableFolder unwritable(m_pDir->Path());
            if (!unwritable.IsSet()) {
                qInfo("unwritable folder not tried: %s", qPrintable(unwritable.Why()));
                continue;
            }
            bPrinted = View()->PrintTo(&badPrinter, strError);
        } else {
            bPrinted = View()->PrintTo(&badPrinter, strError);
        }
        QVERIFY2(!bPrinted, qPrintable(strFault));
        QVERIFY2(strError.contains(strTarget), qPrintable(strFault + ": " + strError));
        QCOMPARE(badPrinter.outputFileName(), strTarget);
        QCOMPARE(ReadFile(strPdf), pdf);
        QCOMPARE(QDir(m_pDir->Path()).entryList({"page.pdf*"}), QStringList({"page.pdf"}));
    }
}

void AppTest::printPreviewOpensAtWindowSizeFittedToWidth()
{
    Start();
    QSize szPreview;
    QPrintPreviewWidget::ZoomMode zoomMode = QPrintPreviewWidget::CustomZoom;
    OnNextModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* pDialog) {
        szPreview = pDialog->size();
        zoomMode = pDialog->findChild<QPrintPreviewWidget*>()->zoomMode();
        pDialog->reject();
    });
    QTest::keyClick(Frame(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(szPreview.width() >= Frame()->width());
    QVERIFY(szPreview.height() >= Frame()->height());
    QCOMPARE(zoomMode, QPrintPreviewWidget::FitToWidth);
}

void AppTest::backgroundColourCommandsWriteParamSdt()
{
    Start();
    const QString strSdt = m_pDir->FilePath(QStringLiteral("Param.sdt"));
    QVERIFY(!QFile::exists(strSdt));

    OnNextModal<QColorDialog>([](QColorDialog* pDialog) {
        QCOMPARE(pDialog->currentColor(), QColor(Qt::black));
        pDialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
        pDialog->accept();
    });
    View()->OnBackgroundColor();
    QCOMPARE(ReadFile(strSdt), QByteArray("\x12\x34\x56\x00", 4));
    QCOMPARE(View()->BackgroundColor(), 0x563412u);
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
        QFile file(m_pDir->FilePath(QStringLiteral("Param.sdt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Start();
    QCOMPARE(View()->BackgroundBrush().color(), expected);
    QCOMPARE(View()->Page(0)->palette().color(QPalette::Window), expected);
    QCOMPARE(View()->Page(5)->BackgroundBrush().color(), expected);
}

void AppTest::comSettingsDialogStoresSettingsAndDevice()
{
    Start();
    const QString strDevice = m_pDir->FilePath(QStringLiteral("no-such-tty"));
    OnNextModal<CComSettingDialog>([strDevice](CComSettingDialog* pDialog) {
        auto* pPort = pDialog->findChild<QComboBox*>(QStringLiteral("comboPort"));
        auto* pBaud = pDialog->findChild<QComboBox*>(QStringLiteral("comboBaud"));
        QVERIFY(pPort && pBaud);
        pPort->setCurrentIndex(11);
        pBaud->setCurrentText(QStringLiteral("921600"));
        auto* pDevice = pDialog->findChild<QComboBox*>(QStringLiteral("comboDevice"));
        QVERIFY(pDevice);
        // A long by-id name fits the box, and its tooltip holds it whole.
        const QString strById =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP3B-if00-port0");
        pDevice->setEditText(strById);
        QVERIFY(pDevice->lineEdit()->width() >=
                pDevice->lineEdit()->fontMetrics().horizontalAdvance(strById));
        QCOMPARE(pDevice->toolTip(), strById);
        pDevice->setEditText(strDevice);
        pDialog->accept();
    });
    QTest::mouseClick(Frame()->ToolBar()->widgetForAction(Frame()->ComSettingsAction()),
                      Qt::LeftButton);
    QTRY_COMPARE(Session().PortSettings().m_nPort, 12);

    QCOMPARE(Session().PortSettings().m_nBaud, 921600);
    ComSettings stored;
    QVERIFY(stored.FromBytes(ReadStored(m_strSettingsFile, "ComSettings", 20)));
    QCOMPARE(stored, Session().PortSettings());
    QCOMPARE(CPortMap(m_strSettingsFile).DeviceFor(12), strDevice);
    // The reopen failed quietly: no box came up and the port is closed.
    QVERIFY(!View()->Context().IsPortOpen());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // Cancel changes nothing.
    OnNextModal<CComSettingDialog>([](CComSettingDialog* pDialog) {
        pDialog->findChild<QComboBox*>(QStringLiteral("comboPort"))->setCurrentIndex(2);
        pDialog->reject();
    });
    View()->OnComSettings();
    QCOMPARE(Session().PortSettings().m_nPort, 12);
    QVERIFY(stored.FromBytes(ReadStored(m_strSettingsFile, "ComSettings", 20)));
    QCOMPARE(stored.m_nPort, 12);
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
    QCOMPARE(Session().GetPlotSettings(), expected);
    QCOMPARE(ReadStored(m_strSettingsFile, "PlotSettings", 24), expected.ToBytes());
    QCOMPARE(PageRanges(), RangesOf(expected));

    OnNextModal<CHistoryCoefDialog>([](CHistoryCoefDialog* pDialog) { pDialog->reject(); });
    View()->OnCurveParams();
    QCOMPARE(Session().GetPlotSettings(), expected);
}

void AppTest::statusTextGoesToPaneZeroAndClearsWithThePage()
{
    Start();
    QCOMPARE(Frame()->MessageText(), QStringLiteral("就绪"));
    View()->Context().SetStatusText(QStringLiteral("文件已打开"));
    QCOMPARE(Frame()->MessageText(), QStringLiteral("文件已打开"));
    // What one page said is gone when another one shows.
    QTabBar* pBar = View()->TabSheet()->TabBar();
    QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(CTolvexView::kTabRemote).center());
    QCOMPARE(Frame()->MessageText(), QString());

    View()->Context().SetRecordingFile(QStringLiteral("/a/b/20241_2_3_4.Dat"));
    QCOMPARE(Frame()->RecordingText(), QStringLiteral("正在记录: 20241_2_3_4.Dat"));
    View()->Context().SetRecordingFile(QString());
    QCOMPARE(Frame()->RecordingText(), QString());
}

void AppTest::openOnTheHistoryTabLoadsADataFile()
{
    Start(CTolvexView::kTabHistory);
    const QString strFolder = m_pApp->ProgramFolder() + QStringLiteral("数据文件");
    const QString strFile = strFolder + QStringLiteral("/opened.Dat");
    {
        QFile file(strFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 5; ++i) {
            char record[WeightRecord::kSize];
            WeightRecord::Make(100 + i, 1700000000000LL + i * 50).ToBytes(record);
            file.write(record, sizeof record);
        }
    }
    QString strDir;
    QStringList arrFilters;
    QSize szDialog;
    OnNextModal<QFileDialog>([&](QFileDialog* pDialog) {
        strDir = pDialog->directory().absolutePath();
        arrFilters = pDialog->nameFilters();
        szDialog = pDialog->size();
        pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(strFile);
        QMetaObject::invokeMethod(pDialog, "accept");
    });
    QTest::keyClick(Frame(), Qt::Key_O, Qt::ControlModifier);
    QFile::remove(strFile);
    QCOMPARE(strDir, QFileInfo(strFolder).absoluteFilePath());
    QVERIFY(arrFilters.first().contains(QStringLiteral("*.Dat")));
    // Wide enough for the columns of a Chinese file list.
    QVERIFY(szDialog.width() >= CDialogSizer::kMinWidth);
    QCOMPARE(View()->HistoryPage()->FileName(), strFile);
    QCOMPARE(View()->HistoryPage()->RecordCount(), qint64(5));
    QCOMPARE(Frame()->MessageText(), QStringLiteral("opened.Dat: 5条记录"));
    QVERIFY(View()->HistoryPage()->Hint()->isHidden());

    // Elsewhere Open loads nothing.
    QTabBar* pBar = View()->TabSheet()->TabBar();
    QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(CTolvexView::kTabRemote).center());
    QCOMPARE(View()->TabSheet()->CurrentPage(), int(CTolvexView::kTabRemote));
    arrFilters.clear();
    OnNextModal<QFileDialog>([&](QFileDialog* pDialog) {
        arrFilters = pDialog->nameFilters();
        pDialog->reject();
    });
    View()->Actions().m_pOpen->trigger();
    QVERIFY(!arrFilters.isEmpty());
    QVERIFY(!arrFilters.join(QString()).contains(QStringLiteral("*.Dat")));
    QCOMPARE(View()->HistoryPage()->FileName(), strFile);
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
    QCOMPARE(arrItems, (QStringList{"导入参数(&I)",
                                    "导出参数(&E)",
                                    "-",
                                    "保存曲线数据",
                                    "打印设置(&R)...",
                                    "退出(&X)",
                                    "~撤消(&U)\tCtrl+Z",
                                    "-",
                                    "~剪切(&T)\tCtrl+X",
                                    "~复制(&C)\tCtrl+C",
                                    "~粘贴(&P)\tCtrl+V",
                                    "工具栏(&T)",
                                    "状态栏(&S)",
                                    "关于 Tolvex测试软件(&A)...",
                                    "背景色",
                                    "默认背景色",
                                    "串口设置",
                                    "-",
                                    "曲线参数",
                                    "显示脚本控件"}));
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
    int nWidth = 0;
    OnNextModal<QMessageBox>([&](QMessageBox* pBox) {
        strTitle = pBox->windowTitle();
        strText = pBox->text();
        strBuilt = pBox->informativeText();
        nWidth = pBox->width();
        pBox->accept();
    });
    QMenu* pHelpMenu = Frame()->menuBar()->actions().at(3)->menu();
    pHelpMenu->actions().at(0)->trigger();
    QCOMPARE(strTitle, QStringLiteral("关于 Tolvex测试软件"));
    QCOMPARE(strText, QStringLiteral("Tolvex测试软件 2.0 版"));
    // Wide enough that a title bar shows the whole title.
    QVERIFY2(nWidth > 1.5 * QFontMetrics(QApplication::font()).horizontalAdvance(strTitle),
             qPrintable(QString::number(nWidth)));
    // As the compiler writes it: "Mmm dd yyyy hh:mm:ss".
    const QRegularExpression reBuilt(QStringLiteral("^[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                                                    "[0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    QVERIFY2(reBuilt.match(strBuilt).hasMatch(), qPrintable(strBuilt));
}

void AppTest::qtDialogsSpeakChinese()
{
    Start();
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Save, Frame());
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    QCOMPARE(box.button(QMessageBox::Save)->text(), QStringLiteral("保存"));
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
    QVERIFY(Frame()->menuBar()->styleSheet().contains(
        QStringLiteral("QMenu::item:disabled { color: %1; }")
            .arg(CMainFrame::DisabledTextColor(expected).name())));

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

void AppTest::disabledMenuItemsStayReadable_data()
{
    QTest::addColumn<QColor>("background");
    for (const QColor& color :
         {QColor(0xB0, 0xC0, 0xFF), QColor(Qt::white), QColor(Qt::black), QColor(0x80, 0x80, 0x80),
          QColor(0x20, 0x40, 0x90), QColor(0xC8, 0xE6, 0xA0)})
        QTest::newRow(qPrintable(color.name())) << color;
}

void AppTest::disabledMenuItemsStayReadable()
{
    QFETCH(QColor, background);
    const QColor disabled = CMainFrame::DisabledTextColor(background);
    QVERIFY2(CMainFrame::Contrast(disabled, background) >= 3.0, qPrintable(disabled.name()));
    // Still told apart from an enabled item's black or white.
    QVERIFY(disabled != QColor(Qt::black) && disabled != QColor(Qt::white));
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
    auto* pEdit = View()->Page(CTolvexView::kTabRemote)->findChild<QLineEdit*>("editAddress");
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
    auto* pEdit = View()->Page(CTolvexView::kTabRemote)->findChild<QLineEdit*>("editAddress");
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
    const QString strFile = m_pDir->FilePath(QStringLiteral("doc.tvx"));
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
