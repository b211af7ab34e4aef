#include "TestFiles.h"
#include "TestPageContext.h"

#include "params/ParamFile.h"
#include "params/ParamSettingsDialog.h"
#include "params/WeightReading.h"
#include "uikit/WBButton.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <thread>

namespace {

SimOptions Modules(const QList<int>& arrAddresses)
{
    SimOptions options;
    options.m_arrAddresses = arrAddresses;
    return options;
}

// Keeps the last reading the link published.
class CLastReading : public CReadingSink
{
public:
    void OnReading(const MeasuredReading& reading) override
    {
        const std::lock_guard lock(m_mutex);
        m_last = reading;
    }
    void OnPatrolCycle(qint64, int) override {}
    MeasuredReading Last() const
    {
        const std::lock_guard lock(m_mutex);
        return m_last;
    }

private:
    mutable std::mutex m_mutex;
    MeasuredReading m_last;
};

} // namespace

// The parameter page on the simulator, judged by what a user sees and by the
// frames on the wire.
class ParamPageTest : public QObject
{
    Q_OBJECT

    template <class T> static T* Child(QWidget& page, const char* pszName)
    {
        T* pChild = page.findChild<T*>(QLatin1String(pszName));
        if (!pChild)
            qFatal("no child %s", pszName);
        return pChild;
    }
    static QString Cell(QWidget& page, int nAddress)
    {
        return Child<QTableWidget>(page, "gridBus")->item(nAddress % 8, nAddress / 8)->text();
    }
    static QString Text(QWidget& page, const char* pszName)
    {
        if (auto* pEdit = page.findChild<QLineEdit*>(QLatin1String(pszName)))
            return pEdit->text();
        if (auto* pLabel = page.findChild<QLabel*>(QLatin1String(pszName)))
            return pLabel->text();
        if (auto* pList = page.findChild<QComboBox*>(QLatin1String(pszName)))
            return pList->currentText();
        return Child<QPushButton>(page, pszName)->text();
    }
    static void Click(QWidget& page, const char* pszName)
    {
        QTest::mouseClick(Child<QPushButton>(page, pszName), Qt::LeftButton);
    }
    static void ClickCell(QWidget& page, int nAddress)
    {
        QTableWidget* pGrid = Child<QTableWidget>(page, "gridBus");
        const QRect rc = pGrid->visualItemRect(pGrid->item(nAddress % 8, nAddress / 8));
        QTest::mouseClick(pGrid->viewport(), Qt::LeftButton, {}, rc.center());
    }
    // Types into a field and leaves it. The offscreen platform moves no real
    // focus, so leaving is the field's own notification.
    static void Type(QWidget& page, const char* pszName, const QString& strText)
    {
        QLineEdit* pEdit = Child<QLineEdit>(page, pszName);
        pEdit->selectAll();
        pEdit->insert(strText);
        Q_EMIT pEdit->editingFinished();
    }
    // The frame log is read only once the worker has stopped: the simulator
    // appends to it while the bus is in use.
    static bool LogHas(CTestPageContext& context, const QByteArray& frame)
    {
        return context.Simulator().Bus().FrameLog().contains(frame);
    }
    static void StopPolling(CParamSettingsDialog& page)
    {
        page.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!page.Worker().IsRunning(), 10000);
    }
    // The weight display's progress texts, in order.
    static QStringList* Progress(CParamSettingsDialog& page)
    {
        auto* pTexts = new QStringList;
        QObject::connect(&page.Worker(), &CParamWorker::ProgressShown, &page,
                         [pTexts](const QString& strText) { pTexts->append(strText); });
        QObject::connect(&page, &QObject::destroyed, [pTexts] { delete pTexts; });
        return pTexts;
    }

private Q_SLOTS:
    void startsWithTheDefaults()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        for (int i : {0, 7, 22, 31})
            QCOMPARE(Cell(page, i), QStringLiteral("ADR %1").arg(i));
        const QList<QPair<const char*, const char*>> expected = {
            {"comboUnit", "g"},
            {"comboDivision", "1"},
            {"comboDecimal", "xxxxxxx."},
            {"comboFmd", "标准滤波"},
            {"comboAsf", "20Hz"},
            {"comboZtr", "OFF"},
            {"comboZts", "0.5d/s"},
            {"comboZse", "OFF"},
            {"comboStr", "OFF"},
            {"comboCsm", "OFF"},
            {"comboChp", "OFF"},
            {"comboRle", "OFF"},
            {"comboGan", "1倍"},
            {"comboRln", "4"},
            {"comboIcr", "0"},
            {"labelWeight", "请选择AD地址或总线扫描"},
            {"buttonScan", "总线扫描"},
            {"buttonGrossNet", "毛重"},
            {"buttonRecord", "保存数据"},
            {"editRlc3", "150000"},
            {"labelUnit", ""}};
        for (const auto& [pszName, pszText] : expected)
            QVERIFY2(Text(page, pszName) == QString::fromUtf8(pszText), pszName);
        QVERIFY(Child<QLineEdit>(page, "editRlc3")->isVisibleTo(&page));
        QVERIFY(!Child<QLineEdit>(page, "editRlc4")->isVisibleTo(&page));
        // The start message in the small font, on one line of the display.
        QLabel* pWeight = Child<QLabel>(page, "labelWeight");
        const QFontMetrics metrics(pWeight->font());
        QVERIFY(metrics.height() <= 40);
        QVERIFY(!pWeight->wordWrap());
        QVERIFY(metrics.horizontalAdvance(pWeight->text()) <=
                pWeight->contentsRect().width() - 2 * pWeight->margin());

        // The port is closed: requests are dropped and no worker starts.
        Click(page, "buttonTare");
        QVERIFY(!page.Worker().IsRunning());
        QVERIFY(context.Simulator().Bus().FrameLog().isEmpty());
    }

    void gridClickReadsTheModuleIntoThePage()
    {
        CTestPageContext context(Modules({3, 22}));
        CParamSettingsDialog page(context);
        page.show();
        QVERIFY(context.IsPortOpen());
        ClickCell(page, 22); // column 2, row 6
        QCOMPARE(context.m_nCurAddress.load(), 22);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 22), QStringLiteral("ADR 22 OK"), 20000);
        QCOMPARE(Text(page, "editAdi"), QStringLiteral("10"));
        QCOMPARE(Text(page, "editCoc"), QStringLiteral("100"));
        QCOMPARE(Text(page, "comboAsf"), QStringLiteral("3Hz"));
        QCOMPARE(Text(page, "comboIcr"), QStringLiteral("120"));
        QCOMPARE(Text(page, "comboGan"), QStringLiteral("128倍"));
        QCOMPARE(Text(page, "editLwt"), QStringLiteral("920000"));
        QCOMPARE(Text(page, "editIdn1"), QStringLiteral("ADM"));
        QCOMPARE(Text(page, "editIdn3"), QStringLiteral("2400022"));
        QCOMPARE(Text(page, "editNewAddress"), QStringLiteral("22"));
        QVERIFY(page.IsModuleRead());
        QCOMPARE(page.Record().m_nLdw, 120000);
        QCOMPARE(Text(page, "labelUnit"), QStringLiteral("g"));
        QComboBox* pUnit = Child<QComboBox>(page, "comboUnit");
        pUnit->setCurrentIndex(1);
        Q_EMIT pUnit->activated(1);
        QCOMPARE(Text(page, "comboUnit"), QStringLiteral("Kg"));
        QCOMPARE(Text(page, "labelUnit"), QStringLiteral("kg"));
        // Polling follows: readings fill the statistics, and are published
        // with the weight and unit as the page shows them.
        auto pPublished = std::make_shared<CLastReading>();
        context.BusLink().Readings().SetSink(pPublished);
        QComboBox* pDecimals = Child<QComboBox>(page, "comboDecimal");
        pDecimals->setCurrentIndex(2);
        Q_EMIT pDecimals->activated(2);
        QTRY_VERIFY_WITH_TIMEOUT(Text(page, "editMaximum") != QStringLiteral("0"), 10000);
        // A reading taken before the change may still carry the old display.
        QTRY_VERIFY_WITH_TIMEOUT(pPublished->Last().m_strValue.contains(QLatin1Char('.')), 10000);
        const MeasuredReading published = pPublished->Last();
        QCOMPARE(published.m_strSource, QStringLiteral("param"));
        QCOMPARE(published.m_strUnit, QStringLiteral("kg"));
        QCOMPARE(published.m_strValue, CWeightReading::Text(published.m_nRaw, 0, 2));
        context.BusLink().Readings().SetSink(nullptr);

        // A cell with no module: the cell falls back, "Time Out" is shown.
        ClickCell(page, 5);
        QTRY_COMPARE_WITH_TIMEOUT(context.Messages(), QStringList{QStringLiteral("Time Out")},
                                  20000);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 5), QStringLiteral("ADR 5"), 10000);
        QVERIFY(!page.IsModuleRead());
        StopPolling(page);
        QVERIFY(LogHas(context, "S22;FMD?;"));
        QVERIFY(LogHas(context, "S22;MSV?;"));
        QVERIFY(LogHas(context, "S05;FMD?;"));
    }

    void scanSelectsTheFirstModuleAndReadsIt()
    {
        CTestPageContext context(Modules({3, 17}));
        CParamSettingsDialog page(context);
        page.show();
        Click(page, "buttonScan");
        QCOMPARE(Text(page, "buttonScan"), QStringLiteral("停止扫描"));
        QTRY_COMPARE_WITH_TIMEOUT(Text(page, "buttonScan"), QStringLiteral("总线扫描"), 30000);
        QCOMPARE(page.FoundAddresses(), (QList<int>{3, 17}));
        QCOMPARE(Cell(page, 17), QStringLiteral("ADR 17 OK"));
        QCOMPARE(Cell(page, 4), QStringLiteral("ADR 4 --"));
        QCOMPARE(context.m_nCurAddress.load(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 3), QStringLiteral("ADR 3 OK"), 20000);
        QVERIFY(page.IsModuleRead());
    }

    void requestsKeepTheirAddressAndAreNotLost()
    {
        CTestPageContext context(Modules({3, 17}));
        CParamSettingsDialog page(context);
        page.show();
        ClickCell(page, 3);
        // Clicked again mid-read: the read of 3 goes on at 3, then 17 is read.
        QTRY_COMPARE_WITH_TIMEOUT(Text(page, "editAdi"), QStringLiteral("10"), 10000);
        ClickCell(page, 17);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 17), QStringLiteral("ADR 17 OK"), 20000);
        QCOMPARE(Cell(page, 3), QStringLiteral("ADR 3 OK"));
        StopPolling(page);
        const QList<QByteArray> frames = context.Simulator().Bus().FrameLog();
        const qsizetype nLastOf3 = frames.indexOf("S03;IDN?;");
        QVERIFY(nLastOf3 > 0);
        for (qsizetype i = frames.indexOf("S03;FMD?;"); i < nLastOf3; ++i)
            QVERIFY2(frames[i].startsWith("S03;"), frames[i].constData());
        QCOMPARE(page.Record().m_strIdentification.mid(20, 7), QByteArray("2400017"));

        // Left and shown again while the worker ends: the read it posts runs.
        page.show();
        QTRY_VERIFY_WITH_TIMEOUT(page.Worker().IsRunning(), 10000);
        QStringList* pProgress = Progress(page);
        page.hide();
        page.show();
        QTRY_VERIFY_WITH_TIMEOUT(pProgress->contains(QStringLiteral("参数读取中...")), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 17), QStringLiteral("ADR 17 OK"), 20000);
    }

    void readStoppedByHidingDoesNotCount()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        page.show();
        ClickCell(page, 3);
        QTRY_VERIFY_WITH_TIMEOUT(page.IsModuleRead(), 20000);
        page.hide();
        // Shown again: the read it posts is stopped at its start by a hide.
        QObject::connect(
            &page.Worker(), &CParamWorker::ReadStarted, &page, [&page] { page.Worker().Stop(); },
            Qt::DirectConnection);
        page.show();
        QTRY_VERIFY_WITH_TIMEOUT(!page.Worker().IsRunning(), 20000);
        page.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!page.IsModuleRead(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 3), QStringLiteral("ADR 3?"), 10000);
        // Not read: showing the page again starts nothing.
        page.show();
        QTest::qWait(200);
        QVERIFY(!page.Worker().IsRunning());
    }

    void addressChangeScansToTheEndAfterAStrayStop()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        // "停止扫描" pressed while no scan can run (the port is still closed).
        Click(page, "buttonScan");
        Click(page, "buttonScan");
        QCOMPARE(Text(page, "buttonScan"), QStringLiteral("总线扫描"));
        page.show();
        ClickCell(page, 3);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 3), QStringLiteral("ADR 3 OK"), 20000);
        Type(page, "editNewAddress", QStringLiteral("20"));
        Click(page, "buttonWriteAddress");
        QTRY_COMPARE_WITH_TIMEOUT(page.FoundAddresses(), QList<int>{20}, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 20), QStringLiteral("ADR 20 OK"), 20000);
        QCOMPARE(Cell(page, 31), QStringLiteral("ADR 31 --"));
        QCOMPARE(context.m_nCurAddress.load(), 20);
        QVERIFY(context.StatusTexts().contains(QStringLiteral("模块地址3已改为20")));
    }

    void tareAndGrossNet()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        page.show();
        ClickCell(page, 3);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 3), QStringLiteral("ADR 3 OK"), 20000);
        Click(page, "buttonTare");
        CSimModule::Params current, stored;
        bool bUnlocked = false, bNet = false;
        QTRY_VERIFY_WITH_TIMEOUT(Text(page, "editTav") != QStringLiteral("0"), 10000);
        QVERIFY(context.Simulator().Bus().Snapshot(3, current, stored, bUnlocked, bNet));
        QCOMPARE(Text(page, "editTav"), QString::number(current.m_nTav));
        // The record follows, so a save does not restore the old tare.
        QCOMPARE(page.Record().m_nTav, current.m_nTav);

        // The module in net mode first, so that the gross press shows.
        std::thread([&] { context.Command("S03;TAS1;", 500); }).join();
        QVERIFY(context.Simulator().Bus().Snapshot(3, current, stored, bUnlocked, bNet) && bNet);
        Click(page, "buttonGrossNet");
        QCOMPARE(Text(page, "buttonGrossNet"), QStringLiteral("净重"));
        QTRY_VERIFY_WITH_TIMEOUT(
            context.Simulator().Bus().Snapshot(3, current, stored, bUnlocked, bNet) && !bNet,
            10000);
        Click(page, "buttonGrossNet");
        QCOMPARE(Text(page, "buttonGrossNet"), QStringLiteral("毛重"));
        QTRY_VERIFY_WITH_TIMEOUT(
            context.Simulator().Bus().Snapshot(3, current, stored, bUnlocked, bNet) && bNet, 10000);
        StopPolling(page);
        const QList<QByteArray> frames = context.Simulator().Bus().FrameLog();
        QVERIFY(frames.contains("S03;TAR;"));
        QVERIFY(frames.indexOf("S03;TAS0;") >= 0);
        QVERIFY(frames.indexOf("S03;TAS0;") < frames.lastIndexOf("S03;TAS1;"));
    }

    void invalidFieldsSendNothing()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        page.show();
        ClickCell(page, 3);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 3), QStringLiteral("ADR 3 OK"), 20000);
        context.ClearRecorded();

        Type(page, "editAdi", QStringLiteral("501"));
        QCOMPARE(context.Messages().size(), 1);
        QVERIFY(context.Messages().first().contains(QStringLiteral("500")));
        QCOMPARE(page.Record().m_nAdi, 10);
        QStringList* pProgress = Progress(page);
        Click(page, "buttonSave");
        QTest::qWait(300);
        QVERIFY(!pProgress->contains(QStringLiteral("参数保存中...")));

        // Identification fields refuse what would end the write's argument.
        Type(page, "editAdi", QStringLiteral("42"));
        QCOMPARE(page.Record().m_nAdi, 42);
        const QByteArray before = page.Record().m_strIdentification;
        context.ClearRecorded();
        Type(page, "editIdn2", QStringLiteral("a\";TDD1;"));
        QCOMPARE(context.Messages().size(), 1);
        QCOMPARE(page.Record().m_strIdentification, before);
        Type(page, "editIdn2", QStringLiteral("一二三四五六七八"));
        QCOMPARE(context.Messages().size(), 2);
        QCOMPARE(page.Record().m_strIdentification, before);
        Type(page, "editIdn2", QStringLiteral("秤台七"));
        QCOMPARE(context.Messages().size(), 2);
        QVERIFY(page.Record().m_strIdentification.startsWith("ADM,\xB3\xD3\xCC\xA8\xC6\xDF,"));

        // A valid page saves all sixteen steps with the edited values.
        Click(page, "buttonSave");
        QTRY_VERIFY_WITH_TIMEOUT(pProgress->contains(QStringLiteral("保存TDD1...")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(context.StatusTexts().contains(QStringLiteral("参数保存成功")),
                                 20000);
        StopPolling(page);
        QVERIFY(!LogHas(context, "S03;ADI501;"));
        QVERIFY(LogHas(context, "S03;ADI42;"));
        QVERIFY(LogHas(context, "S03;IDN\"\xB3\xD3\xCC\xA8\xC6\xDF\",\"2400003\";"));
    }

    void refusedStepsAndOccupiedAddressAreReported()
    {
        SimOptions options = Modules({3, 5});
        options.m_faults.m_bZtsUnsupported = true;
        CTestPageContext context(options);
        CParamSettingsDialog page(context);
        page.show();
        ClickCell(page, 3);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(page, 3), QStringLiteral("ADR 3 OK"), 20000);
        Click(page, "buttonSave");
        QTRY_COMPARE_WITH_TIMEOUT(context.Messages(),
                                  QStringList{QStringLiteral("参数保存失败: ZTS")}, 20000);

        context.ClearRecorded();
        Type(page, "editNewAddress", QStringLiteral("5"));
        Click(page, "buttonWriteAddress");
        QTRY_COMPARE_WITH_TIMEOUT(context.Messages(), QStringList{QStringLiteral("地址5已被占用")},
                                  20000);
        StopPolling(page);
        QVERIFY(LogHas(context, "S03;TDD1;"));
        QVERIFY(LogHas(context, "S05;ADR?;"));
        QVERIFY(!LogHas(context, "S03;adr05;"));
    }

    void recordingFileOnlyWhileOpen()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        QTemporaryDir dir;
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(!page.StartRecording(dir.filePath("plain/below.dat")));
        QCOMPARE(context.Messages(), QStringList{QStringLiteral("写文件错误,错误码:20")});
        QCOMPARE(Text(page, "buttonRecord"), QStringLiteral("保存数据"));

        page.show();
        const QString strPath = dir.filePath("weights.dat");
        QVERIFY(page.StartRecording(strPath));
        QCOMPARE(Text(page, "buttonRecord"), QStringLiteral("停止保存"));
        ClickCell(page, 3);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(strPath).size() >= 12 * 5, 20000);
        Click(page, "buttonRecord");
        QCOMPARE(Text(page, "buttonRecord"), QStringLiteral("保存数据"));
        const qint64 nSize = QFileInfo(strPath).size();
        QCOMPARE(nSize % 12, 0);
        QTest::qWait(200);
        QCOMPARE(QFileInfo(strPath).size(), nSize); // nothing after the stop

        // A disk that fills: one message for the recording, whole records
        // only, and the page goes on reading.
        context.ClearRecorded();
        const QString strFull = dir.filePath("full.dat");
        {
            CFileSizeLimit limit(12 * 3 + 5);
            QVERIFY(limit.IsSet());
            QVERIFY(page.StartRecording(strFull));
            QTRY_COMPARE_WITH_TIMEOUT(context.Messages(),
                                      QStringList{QStringLiteral("写文件错误,错误码:27")}, 20000);
            const auto readings = [&] {
                return context.Simulator().Bus().FrameLog().count("S03;MSV?;");
            };
            const qsizetype nReadings = readings();
            QTRY_VERIFY_WITH_TIMEOUT(readings() >= nReadings + 5, 20000);
            Click(page, "buttonRecord");
        }
        QCOMPARE(QFileInfo(strFull).size(), 36);
        QCOMPARE(context.Messages().size(), 1);
    }

    void importFillsEveryFieldAndRefusesBadFiles()
    {
        CTestPageContext context(Modules({3}));
        CParamSettingsDialog page(context);
        QTemporaryDir dir;
        ModuleParamRecord record;
        record.m_nAdi = 77;
        record.m_nIcr = 96;
        record.m_nRln = 6;
        record.m_nGan = 2;
        record.m_strIdentification = "ADM,Imported       ,1234567,2.0";
        PageDisplayState state;
        state.m_nSelectedAddress = 9;
        state.m_nUnit = 1;
        state.m_nDivision = 2;
        state.m_nDecimals = 3;
        state.m_bRestartStatistics = 0;
        QString strError;
        const QString strPath = dir.filePath("x.stp");
        QVERIFY(CParamFile::Export(strPath, record, state, strError));
        QVERIFY(page.ImportFrom(strPath));
        QCOMPARE(context.StatusTexts().last(),
                 QStringLiteral("参数已从文件\"%1\"导入").arg(QDir::toNativeSeparators(strPath)));
        QCOMPARE(Text(page, "editAdi"), QStringLiteral("77"));
        QCOMPARE(Text(page, "comboIcr"), QStringLiteral("96"));
        QCOMPARE(Text(page, "comboGan"), QStringLiteral("4倍"));
        QCOMPARE(Text(page, "comboRln"), QStringLiteral("6"));
        QCOMPARE(Text(page, "comboUnit"), QStringLiteral("Kg"));
        QCOMPARE(Text(page, "comboDivision"), QStringLiteral("5"));
        QCOMPARE(Text(page, "comboDecimal"), QStringLiteral("xxxx.xxx"));
        QCOMPARE(Text(page, "editIdn2"), QStringLiteral("Imported       "));
        QVERIFY(Child<QLineEdit>(page, "editRlc5")->isVisibleTo(&page));
        QVERIFY(!Child<QLineEdit>(page, "editRlc6")->isVisibleTo(&page));
        QCOMPARE(context.m_nCurAddress.load(), 9);
        // Leaving a field now keeps the imported value.
        Type(page, "editAdi", QStringLiteral("77"));
        QCOMPARE(page.Record().m_nAdi, 77);

        // Refused files change nothing; the refusal names the file and why.
        const QString strName = QDir::toNativeSeparators(strPath);
        const QString strAbsent = QDir::toNativeSeparators(dir.filePath("absent.stp"));
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(515));
        file.close();
        QVERIFY(!page.ImportFrom(strPath));
        QVERIFY(!page.ImportFrom(dir.filePath("absent.stp")));
        const QStringList messages = context.Messages();
        QCOMPARE(messages.size(), 2);
        QVERIFY2(
            messages[0].startsWith(
                QStringLiteral("导入参数失败: 文件\"%1\"不是参数文件,它有515字节").arg(strName)),
            qPrintable(messages[0]));
        QVERIFY2(messages[1].startsWith(
                     QStringLiteral("导入参数失败: 无法读取文件\"%1\"").arg(strAbsent)),
                 qPrintable(messages[1]));
        QCOMPARE(Text(page, "editAdi"), QStringLiteral("77"));

        // Export writes what the page holds now, its statistics restart included.
        Click(page, "buttonZero");
        const QString strOut = dir.filePath("y.stp");
        QVERIFY(page.ExportTo(strOut));
        QCOMPARE(context.StatusTexts().last(),
                 QStringLiteral("参数已导出到文件\"%1\"").arg(QDir::toNativeSeparators(strOut)));
        ModuleParamRecord back;
        PageDisplayState backState;
        QVERIFY(CParamFile::Import(strOut, back, backState, strError));
        QCOMPARE(back, page.Record());
        QCOMPARE(backState.m_nUnit, 1);
        QCOMPARE(backState.m_bRestartStatistics, 1);
        QVERIFY(!page.ExportTo(strOut + "/below.stp"));
        QCOMPARE(context.Messages().size(), 3);
        QVERIFY(context.Messages().last().startsWith(QStringLiteral("导出参数失败: ")));
    }

    void exportAddsTheExtensionToATypedName()
    {
        const QList<QPair<QString, QString>> cases = {
            {"scale", "scale.stp"},
            {"/tmp/a.b/scale", "/tmp/a.b/scale.stp"},
            {"scale.stp", "scale.stp"},
            {"scale.dat", "scale.dat"},
        };
        for (const auto& [strTyped, strWritten] : cases)
            QCOMPARE(CParamSettingsDialog::ExportPath(strTyped), strWritten);
    }
};

QTEST_MAIN(ParamPageTest)
#include "ParamPageTest.moc"
