#include "TestPageContext.h"
#include "multi/32DisplayDialog.h"
#include "multi/CircleSetDialog.h"
#include "multi/PatrolWorker.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs fn on the next modal window that opens (a dialog's exec, a message box).
void OnNextModal(std::function<void(QWidget*)> fn)
{
    auto* pTimer = new QTimer;
    pTimer->setInterval(10);
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, fn] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal)
            return;
        pTimer->stop();
        pTimer->deleteLater();
        fn(pModal);
    });
    pTimer->start();
}

QPushButton* ButtonNamed(const QWidget* pParent, const char* pszName)
{
    return pParent->findChild<QPushButton*>(QString::fromLatin1(pszName));
}

// The page on a test context; the pseudo-terminal takes no parity.
struct CPageRig
{
    explicit CPageRig(const SimOptions& options = SimOptions())
        : m_context(options), m_page(m_context)
    {
        m_context.BusLink().m_comSettings.m_nParity = 'N';
        m_page.resize(800, 600);
    }
    void SetMaxAddress(int nMax)
    {
        CircleSettings settings = m_page.Settings();
        settings.m_nMaxAddress = nMax;
        m_page.ApplySettings(settings);
    }
    QList<QByteArray> Frames() { return m_context.Simulator().Bus().FrameLog(); }
    // The frames the simulator had taken when a marker, written now, reached
    // it: whatever was on its way to the bus before has arrived by then.
    qsizetype FramesBeforeMarker()
    {
        static const QByteArray kMarker("S99;ADR?;");
        const qsizetype nMarkers = Frames().count(kMarker);
        m_context.BusLink().SendText(kMarker);
        if (!QTest::qWaitFor([&] { return Frames().count(kMarker) > nMarkers; }, 10000))
            return -1;
        return Frames().lastIndexOf(kMarker);
    }
    qsizetype MsvCount() { return Frames().count() - SetupCount(); }
    qsizetype SetupCount()
    {
        qsizetype n = 0;
        for (const QByteArray& frame : Frames())
            n += !frame.endsWith("MSV?;");
        return n;
    }

    CTestPageContext m_context;
    C32DisplayDialog m_page;
};

} // namespace

class MultiPageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void labelsAtStartValuesAfterACycle()
    {
        CPageRig rig;
        QTableWidget* pGrid = rig.m_page.Grid();
        QCOMPARE(pGrid->rowCount(), 8);
        QCOMPARE(pGrid->columnCount(), 4);
        QVERIFY(pGrid->horizontalHeader()->isHidden() && pGrid->verticalHeader()->isHidden());
        for (int a = 0; a < 32; ++a)
            QCOMPARE(pGrid->item(a % 8, a / 8)->text(), QStringLiteral("AD%1:").arg(a));
        rig.SetMaxAddress(3);
        rig.m_page.show();
        // The grid follows the page; columns a quarter and rows an eighth of it.
        for (const QSize& size : {QSize(1000, 700), QSize(640, 480)}) {
            rig.m_page.resize(size);
            QCOMPARE(pGrid->geometry().right(), size.width() - 26);
            QCOMPARE(pGrid->geometry().bottom(), size.height() - 20);
            QVERIFY(qAbs(pGrid->columnWidth(0) * 4 - pGrid->contentsRect().width()) < 4);
            QVERIFY(qAbs(pGrid->rowHeight(7) * 8 - pGrid->contentsRect().height()) < 8);
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.CellText(3) != QStringLiteral("AD3:"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.CellText(1) != QStringLiteral("AD1:"), 10000);
        bool bNumber = false;
        rig.m_page.CellText(1).mid(4).toInt(&bNumber);
        QVERIFY2(bNumber, qPrintable(rig.m_page.CellText(1)));
        QCOMPARE(rig.m_page.CellText(0), QStringLiteral("AD0:"));
        QCOMPARE(rig.m_page.CellText(2), QStringLiteral("AD2:"));
        QTRY_VERIFY(!rig.m_page.findChild<QLineEdit*>("editCycle")->text().isEmpty());
        rig.m_page.StopWorker();
    }

    void showOpensTheClosedPortBeforeTheFirstCommand()
    {
        CPageRig rig;
        QVERIFY(!rig.m_context.IsPortOpen());
        rig.m_page.show();
        QVERIFY(rig.m_context.IsPortOpen());
        QTRY_VERIFY_WITH_TIMEOUT(rig.Frames().size() >= 3, 10000);
        QCOMPARE(rig.Frames().first(), QByteArray("S00;COF8;"));
        rig.m_page.StopWorker();
    }

    void valuesFormattedWithTheDecimalsInForce()
    {
        QCOMPARE(C32DisplayDialog::FormatValue(123456, 5), QStringLiteral("1.23456"));
        QCOMPARE(C32DisplayDialog::FormatValue(-7, 1), QStringLiteral("-0.7"));
        QCOMPARE(C32DisplayDialog::FormatValue(12345, 2), QStringLiteral("123.45"));
        QCOMPARE(C32DisplayDialog::FormatValue(-8388608, 0), QStringLiteral("-8388608"));
        QCOMPARE(C32DisplayDialog::FormatValue(1, 6), QStringLiteral("0.000001"));

        // "xx.xxxxx" chosen in the dialog: five decimals on the page.
        CPageRig rig;
        OnNextModal([](QWidget* pModal) {
            auto* pCombo = pModal->findChild<QComboBox*>("comboDecimals");
            pCombo->setCurrentIndex(pCombo->findText("xx.xxxxx"));
            ButtonNamed(pModal, "buttonOk")->click();
        });
        ButtonNamed(&rig.m_page, "buttonSettings")->click();
        QCOMPARE(rig.m_page.Settings().m_nDecimals, 5);
        rig.m_page.SetCell(9, 123456);
        QCOMPARE(rig.m_page.CellText(9), QStringLiteral("AD9:1.23456"));
        rig.m_page.ClearCell(9);
        QCOMPARE(rig.m_page.CellText(9), QStringLiteral("AD9:"));
    }

    void dialogOpensOnTheInitialSettings()
    {
        CCircleSetDialog dialog;
        dialog.SetSettings(CircleSettings());
        dialog.show();
        QCOMPARE(dialog.findChild<QComboBox*>("comboDecimals")->currentText(),
                 QStringLiteral("xxxxxxx."));
        QCOMPARE(dialog.findChild<QComboBox*>("comboUnit")->currentText(), QStringLiteral("g"));
        QCOMPARE(dialog.findChild<QComboBox*>("comboMaxAddress")->currentText(),
                 QStringLiteral("0"));
        QCOMPARE(dialog.findChild<QComboBox*>("comboMaxAddress")->count(), 32);
        QCOMPARE(dialog.findChild<QComboBox*>("comboUnit")->itemText(10), QStringLiteral("MPa"));
        QCOMPARE(dialog.findChild<QLineEdit*>("editTimeout")->text(), QStringLiteral("100"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("巡检参数设置"));
    }

    void timeoutOutsideItsRangeIsRefused()
    {
        for (const char* pszText : {"40", "6000", "49", "5001", "abc"}) {
            CCircleSetDialog dialog;
            dialog.SetSettings(CircleSettings());
            dialog.show();
            dialog.findChild<QLineEdit*>("editTimeout")->setText(QString::fromLatin1(pszText));
            QString strMessage;
            OnNextModal([&](QWidget* pModal) {
                if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
                    strMessage = pBox->text();
                    pBox->done(QMessageBox::Ok);
                }
            });
            ButtonNamed(&dialog, "buttonOk")->click();
            QTRY_VERIFY(!strMessage.isEmpty());
            QVERIFY2(dialog.isVisible() && dialog.result() != QDialog::Accepted, pszText);
            QCOMPARE(dialog.GetSettings().m_nTimeout, 100);
            if (QByteArray(pszText) != "abc")
                QCOMPARE(strMessage, QStringLiteral("请输入一个介于 50 和 5000 之间的整数。"));
        }
        for (int nTimeout : {50, 5000}) {
            CCircleSetDialog dialog;
            dialog.SetSettings(CircleSettings());
            dialog.show();
            dialog.findChild<QLineEdit*>("editTimeout")->setText(QString::number(nTimeout));
            ButtonNamed(&dialog, "buttonOk")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.GetSettings().m_nTimeout, nTimeout);
        }
    }

    void cancelAfterChangingEverythingChangesNothing()
    {
        CPageRig rig;
        const CircleSettings before = rig.m_page.Settings();
        OnNextModal([](QWidget* pModal) {
            pModal->findChild<QComboBox*>("comboDecimals")->setCurrentIndex(3);
            pModal->findChild<QComboBox*>("comboUnit")->setCurrentIndex(4);
            pModal->findChild<QComboBox*>("comboMaxAddress")->setCurrentIndex(20);
            pModal->findChild<QLineEdit*>("editTimeout")->setText("700");
            OnNextModal([](QWidget* pColour) {
                auto* pChooser = qobject_cast<QColorDialog*>(pColour);
                pChooser->setCurrentColor(Qt::blue);
                pChooser->accept();
            });
            ButtonNamed(pModal, "buttonGridBack")->click();
            ButtonNamed(pModal, "buttonCancel")->click();
        });
        ButtonNamed(&rig.m_page, "buttonSettings")->click();
        const CircleSettings after = rig.m_page.Settings();
        QCOMPARE(after.m_nDecimals, before.m_nDecimals);
        QCOMPARE(after.m_nUnit, before.m_nUnit);
        QCOMPARE(after.m_nMaxAddress, before.m_nMaxAddress);
        QCOMPARE(after.m_nTimeout, before.m_nTimeout);
        QCOMPARE(after.m_crGridBack, before.m_crGridBack);
        QCOMPARE(rig.m_page.Grid()->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(rig.m_page.Grid()->palette().color(QPalette::Text), QColor(255, 0, 0));
    }

    void okRecoloursTheGrid()
    {
        CPageRig rig;
        QColor initial;
        OnNextModal([&](QWidget* pModal) {
            OnNextModal([&](QWidget* pColour) {
                auto* pChooser = qobject_cast<QColorDialog*>(pColour);
                initial = pChooser->currentColor();
                pChooser->setCurrentColor(QColor(0, 128, 255));
                pChooser->accept();
            });
            ButtonNamed(pModal, "buttonGridFore")->click();
            pModal->findChild<QComboBox*>("comboMaxAddress")->setCurrentIndex(17);
            ButtonNamed(pModal, "buttonOk")->click();
        });
        ButtonNamed(&rig.m_page, "buttonSettings")->click();
        QCOMPARE(initial, QColor(Qt::black));
        QCOMPARE(rig.m_page.Settings().m_crGridFore, 0xFF8000u);
        QCOMPARE(rig.m_page.Settings().m_nMaxAddress, 17);
        QCOMPARE(rig.m_page.Worker().Sequence().MaxAddress(), 17);
        QCOMPARE(rig.m_page.Grid()->palette().color(QPalette::Text), QColor(0, 128, 255));
        QCOMPARE(rig.m_page.Grid()->palette().color(QPalette::Base), QColor(255, 255, 0));
    }

    // "停止巡检" frees the bus: no frame once the worker has ended, the cells
    // keep their values, the recording stays open and gets nothing. "开始巡检"
    // patrols again, from the set-up pass.
    void patrolButtonStopsAndStartsThePatrol()
    {
        QTemporaryDir dir;
        const QString strOldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        CPageRig rig;
        rig.SetMaxAddress(3);
        QPushButton* pButton = ButtonNamed(&rig.m_page, "buttonPatrol");
        QCOMPARE(pButton->text(), QStringLiteral("开始巡检"));
        rig.m_page.show();
        QCOMPARE(pButton->text(), QStringLiteral("停止巡检"));
        ButtonNamed(&rig.m_page, "buttonSave")->click();
        const QString strFile = rig.m_page.Recorder().FilePath(3);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(strFile).size() > 0, 10000);

        pButton->click();
        QCOMPARE(pButton->text(), QStringLiteral("开始巡检"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.m_page.Worker().IsRunning(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.CellText(3) != QStringLiteral("AD3:"), 10000);
        const QString strCell = rig.m_page.CellText(3);
        const qint64 nSize = QFileInfo(strFile).size();
        const qsizetype nFrames = rig.FramesBeforeMarker();
        QVERIFY(nFrames > 0);
        QCOMPARE(rig.FramesBeforeMarker(), nFrames + 1);
        QVERIFY(!rig.m_page.Worker().IsRunning());
        QCOMPARE(rig.m_page.CellText(3), strCell);
        QVERIFY(rig.m_page.IsSaving());
        QCOMPARE(QFileInfo(strFile).size(), nSize);

        pButton->click();
        QCOMPARE(pButton->text(), QStringLiteral("停止巡检"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.Frames().size() > nFrames + 10, 10000);
        QCOMPARE(rig.Frames().at(nFrames + 2), QByteArray("S00;COF8;"));
        rig.m_page.StopWorker();
        QCOMPARE(pButton->text(), QStringLiteral("开始巡检"));
        QVERIFY(QDir::setCurrent(strOldDir));
    }

    void leftClicksNeverSelectACell()
    {
        CPageRig rig;
        rig.m_page.show();
        QTableWidget* pGrid = rig.m_page.Grid();
        const QRect rcCell = pGrid->visualItemRect(pGrid->item(2, 1));
        QTest::mouseClick(pGrid->viewport(), Qt::LeftButton, {}, rcCell.center());
        QVERIFY(pGrid->selectedItems().isEmpty());
        QCOMPARE(pGrid->currentRow(), -1);
        rig.m_page.StopWorker();
    }

    void hideStopsTrafficAfterOneTransaction()
    {
        CPageRig rig;
        rig.SetMaxAddress(17);
        rig.m_page.show();
        QTRY_VERIFY_WITH_TIMEOUT(rig.MsvCount() > 40, 20000);
        rig.m_page.hide();
        const qsizetype nAtHide = rig.Frames().size();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.m_page.Worker().IsRunning(), 5000);
        QVERIFY(rig.FramesBeforeMarker() <= nAtHide + 1);
    }

    // A show right after a hide, while the old worker may still be ending:
    // the patrol goes on with exactly one worker, whose reads keep the order.
    void showHideShowLeavesOnePatrollingWorker()
    {
        CPageRig rig;
        rig.SetMaxAddress(3);
        rig.m_page.show();
        QTRY_VERIFY_WITH_TIMEOUT(rig.MsvCount() > 8, 10000);
        for (int i = 0; i < 5; ++i) {
            rig.m_page.hide();
            rig.m_page.show();
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.Worker().IsRunning(), 5000);
        rig.m_context.Simulator().Bus().ClearFrameLog();
        QTRY_VERIFY_WITH_TIMEOUT(rig.Frames().size() > 60, 10000);
        QVERIFY(rig.m_page.Worker().IsRunning());
        rig.m_page.StopWorker();
        // One worker sends the reads in cycle order; two would interleave.
        QList<int> arrAddresses;
        for (const QByteArray& frame : rig.Frames())
            if (frame.endsWith("MSV?;"))
                arrAddresses.append(frame.mid(1, 2).toInt());
        QVERIFY(arrAddresses.size() > 40);
        for (qsizetype i = 1; i < arrAddresses.size(); ++i)
            QVERIFY2(arrAddresses[i] == (arrAddresses[i - 1] + 1) % 4,
                     qPrintable(QStringLiteral("read %1 after %2")
                                    .arg(arrAddresses[i])
                                    .arg(arrAddresses[i - 1])));
    }

    // The port closed under the patrol (the terminal page, the serial
    // settings): reads fail and blank the cells; the next show opens the port again.
    void closedPortBlanksCells()
    {
        CPageRig rig;
        rig.SetMaxAddress(3);
        rig.m_page.show();
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.CellText(1) != QStringLiteral("AD1:"), 10000);
        int nReads = 0;
        QObject::connect(&rig.m_page.Worker(), &CPatrolWorker::ReadDone, &rig.m_page,
                         [&](int, bool, qint32) { ++nReads; });
        rig.m_context.ClosePort();
        QTRY_COMPARE_WITH_TIMEOUT(rig.m_page.CellText(1), QStringLiteral("AD1:"), 5000);
        nReads = 0;
        QTRY_VERIFY_WITH_TIMEOUT(nReads >= 1, 5000); // the patrol goes on, failing
        rig.m_page.hide();
        rig.m_page.show();
        QVERIFY(rig.m_context.IsPortOpen());
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.CellText(1) != QStringLiteral("AD1:"), 10000);
        rig.m_page.StopWorker();
    }

    void unpluggedAdapterEndsInBlankCells()
    {
        CPageRig rig;
        rig.SetMaxAddress(3);
        rig.m_page.show();
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_page.CellText(3) != QStringLiteral("AD3:"), 10000);
        rig.m_context.Simulator().Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.m_context.IsPortOpen(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.m_page.CellText(3), QStringLiteral("AD3:"), 5000);
        QVERIFY(rig.m_page.Worker().IsRunning());
        rig.m_page.StopWorker();
        QVERIFY(!rig.m_page.Worker().IsRunning());
    }

    void closingWhileRecordingLeavesWholeFiles()
    {
        QTemporaryDir dir;
        const QString strOldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        CPageRig rig;
        rig.SetMaxAddress(3);
        int nGood[32] = {};
        QObject::connect(&rig.m_page.Worker(), &CPatrolWorker::ReadDone, &rig.m_page,
                         [&](int nAddress, bool bOk, qint32) { nGood[nAddress] += bOk; });
        ButtonNamed(&rig.m_page, "buttonSave")->click();
        QCOMPARE(ButtonNamed(&rig.m_page, "buttonSave")->text(), QStringLiteral("停止保存"));
        rig.m_page.show();
        QTRY_VERIFY_WITH_TIMEOUT(nGood[3] > 10, 10000);
        rig.m_page.StopWorker();
        QCoreApplication::processEvents(); // the reads still queued to the page
        QVERIFY(QDir::setCurrent(strOldDir));
        QCOMPARE(ButtonNamed(&rig.m_page, "buttonSave")->text(), QStringLiteral("保存数据"));
        const QFileInfoList files = QDir(dir.path()).entryInfoList({"*.sdat"}, QDir::Files);
        QCOMPARE(files.size(), 4);
        for (int a = 0; a <= 3; ++a) {
            // Named relative to the working folder the recording started in.
            const QFileInfo info(QDir(dir.path()), rig.m_page.Recorder().FilePath(a));
            QVERIFY(info.exists());
            QCOMPARE(info.size(), 4 * nGood[a]);
        }
        QVERIFY(nGood[1] > 0 && nGood[0] == 0);
    }

    void unwritableFolderShowsOneBoxAndPatrolGoesOn()
    {
        QTemporaryDir dir;
        const QString strOldDir = QDir::currentPath();
        const QString strGone = dir.filePath("gone");
        QVERIFY(QDir().mkdir(strGone));
        QVERIFY(QDir::setCurrent(strGone));
        QVERIFY(QDir().rmdir(strGone));
        CPageRig rig;
        rig.SetMaxAddress(3);
        rig.m_page.show();
        ButtonNamed(&rig.m_page, "buttonSave")->click();
        QTRY_COMPARE(rig.m_context.Messages(), QStringList{QStringLiteral("写文件错误,错误码:2")});
        const qsizetype nFrames = rig.MsvCount();
        QTRY_VERIFY_WITH_TIMEOUT(rig.MsvCount() > nFrames + 8, 10000);
        rig.m_page.StopWorker();
        QCOMPARE(rig.m_context.Messages().size(), 1);
        QVERIFY(QDir::setCurrent(strOldDir));
    }
};

QTEST_MAIN(MultiPageTest)
#include "MultiPageTest.moc"
