#include "AppRig.h"
#include "TestFiles.h"
#include "app/MainFrame.h"
#include "app/TabSheet.h"
#include "app/TolvexApp.h"
#include "app/TolvexView.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "params/ParamSettingsDialog.h"
#include "recording/RecordingReader.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

constexpr int kWaitMs = 20000;

} // namespace

// The whole window on simulated modules: the real-time tab records while it
// is shown, and the history tab draws the file it wrote.
class CurvesSystemTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_pRig = std::make_unique<CTempSettings>();
        QVERIFY(m_pRig->IsValid());
    }

    void cleanup()
    {
        // The recordings land in the program folder: leave nothing behind there.
        for (const QString& strPath : m_arrCreated)
            QFile::remove(strPath);
        m_arrCreated.clear();
        m_pRig.reset();
    }

    void recordsOnTheRealTimeTabAndShowsItOnTheHistoryTab()
    {
        QString strError;
        auto pApp = StartOnTab(0, strError);
        QVERIFY2(pApp, qPrintable(strError));
        CMainFrame* pFrame = pApp->MainFrame();
        CTolvexView* pView = pApp->View();
        QVERIFY(QTest::qWaitForWindowExposed(pFrame));

        // Scanned on the parameter tab: the first module found is the one plotted.
        CParamSettingsDialog* pParamPage = pView->ParamPage();
        QVERIFY(pParamPage->isVisible());
        pParamPage->findChild<QPushButton*>(QStringLiteral("buttonScan"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(pParamPage->IsModuleRead(), 60000);
        QVERIFY(!pParamPage->FoundAddresses().isEmpty());
        QCOMPARE(pView->Context().m_nCurAddress, pParamPage->FoundAddresses().first());

        QTabBar* pBar = pView->TabSheet()->TabBar();
        CPlotDisplayDialog* pPlotPage = pView->PlotPage();
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(2).center());
        QTRY_VERIFY_WITH_TIMEOUT(pPlotPage->IsRunning(), kWaitMs);
        // The status bar names the file being written while the page records.
        QTRY_VERIFY_WITH_TIMEOUT(!pPlotPage->DataPath().isEmpty(), kWaitMs);
        const QString strDataName = QFileInfo(pPlotPage->DataPath()).fileName();
        QTRY_COMPARE_WITH_TIMEOUT(pFrame->RecordingText(), "正在记录: " + strDataName, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(pPlotPage->ValueCount() > 10, kWaitMs);
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(3).center());
        QTRY_VERIFY_WITH_TIMEOUT(!pPlotPage->IsRunning(), kWaitMs);
        m_arrCreated << pPlotPage->DataPath() << pPlotPage->TextPath();
        QTRY_COMPARE_WITH_TIMEOUT(pFrame->MessageText(), "已停止记录: " + strDataName, kWaitMs);
        QCOMPARE(pFrame->RecordingText(), QString());
        QVERIFY(pPlotPage->ValueCount() > 10);

        CRecordBuffer arrRecords;
        int nError = 0;
        QVERIFY(CRecordingReader::Read(pPlotPage->DataPath(), arrRecords, nError));
        QCOMPARE(int(arrRecords.Count()), pPlotPage->ValueCount());
        const QList<QByteArray> arrLines = ReadFile(pPlotPage->TextPath()).split('\n');
        QCOMPARE(arrLines.size(), int(arrRecords.Count()) + 1);
        quint64 nPrevious = 0;
        for (qint64 i = 0; i < arrRecords.Count(); ++i) {
            const qint64 nMs =
                (qint64(arrRecords[i].FileTime()) - WeightRecord::kUnixEpochFileTime) / 10000;
            QCOMPARE(arrLines[int(i)] + '\n', WeightRecord::TextLine(arrRecords[i].m_nValue, nMs));
            QVERIFY(arrRecords[i].FileTime() >= nPrevious);
            nPrevious = arrRecords[i].FileTime();
        }

        // Dropped on the history tab, record 0 is the value at x 40.
        CHistoryDialog* pHistory = pView->HistoryPage();
        QVERIFY(pHistory->isVisible());
        QVERIFY(pHistory->Hint()->isVisible());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(pPlotPage->DataPath())});
        QDragEnterEvent enter(QPoint(200, 100), Qt::CopyAction, &data, Qt::NoButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&pHistory->Plot(), &enter);
        QDropEvent drop(QPointF(200, 100), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&pHistory->Plot(), &drop);
        QTRY_COMPARE_WITH_TIMEOUT(pHistory->RecordCount(), qint64(arrRecords.Count()), kWaitMs);
        QVERIFY(!pHistory->Hint()->isVisible());
        QCOMPARE(pFrame->MessageText(),
                 QStringLiteral("%1: %2条记录").arg(strDataName).arg(arrRecords.Count()));
        QMouseEvent move(QEvent::MouseMove, QPointF(40, 100),
                         pHistory->Plot().mapToGlobal(QPointF(40, 100)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&pHistory->Plot(), &move);
        QTRY_COMPARE_WITH_TIMEOUT(pFrame->MessageText(),
                                  QStringLiteral("         当前值:%1").arg(arrRecords[0].m_nValue),
                                  kWaitMs);

        QVERIFY(pFrame->close());
        pApp->ExitInstance();
    }

private:
    std::unique_ptr<CTempSettings> m_pRig;
    QStringList m_arrCreated;
};

QTEST_MAIN(CurvesSystemTest)
#include "CurvesSystemTest.moc"
