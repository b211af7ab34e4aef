#include "AppRig.h"
#include "app/MainFrame.h"
#include "app/TabSheet.h"
#include "app/TolvexApp.h"
#include "app/TolvexView.h"
#include "terminal/ComAssistDialog.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <QSet>

namespace {

// Ids of this process's threads, but Qt's pooled ones, which are not ours.
QSet<QString> OwnThreads()
{
    QSet<QString> setIds;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strId : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(strId + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && !comm.readAll().startsWith("Thread (pooled)"))
            setIds.insert(strId);
    }
    return setIds;
}

} // namespace

// The terminal tab of the whole application on its simulated bus: what goes
// out, what comes back, an archive, and the tab switch that resets the page.
class TerminalSystemTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_pRig = std::make_unique<CTempSettings>();
        QVERIFY(m_pRig->IsValid());
    }

    void cleanup() { m_pRig.reset(); }

    // A VBScript bus scan from the window, then a run the closing window ends.
    void scriptsRunFromTheWindow()
    {
        QString strError;
        auto pApp = StartOnTab(CTolvexView::kTabTerminal, strError);
        QVERIFY2(pApp, qPrintable(strError));
        CTolvexView* pView = pApp->View();
        auto* pPage = qobject_cast<CComAssistDialog*>(pView->Page(CTolvexView::kTabTerminal));
        auto* pButton = pPage->findChild<QPushButton*>(QStringLiteral("buttonRunScript"));
        QVERIFY(!pButton->isVisible());
        QVERIFY(!pView->Actions().m_pShowScriptControls->isChecked());
        pView->Actions().m_pShowScriptControls->trigger();
        QVERIFY(pButton->isVisible());

        auto* pSend = pPage->findChild<QPlainTextEdit*>(QStringLiteral("editSend"));
        auto* pReceive = pPage->findChild<QPlainTextEdit*>(QStringLiteral("editReceive"));
        pPage->findChild<QRadioButton*>(QStringLiteral("radioVBScript"))->click();
        pSend->setPlainText(QStringLiteral("BusScan 31"));
        QTest::mouseClick(pButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(pButton->isEnabled(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(pReceive->toPlainText(), QStringLiteral("01\n03\n17\n"), 20000);

        const QSet<QString> setBefore = OwnThreads();
        pSend->setPlainText(QStringLiteral("Delay 600000"));
        QTest::mouseClick(pButton, Qt::LeftButton);
        QVERIFY(!pButton->isEnabled());
        const QSet<QString> setStarted = OwnThreads() - setBefore;
        QVERIFY(!setStarted.isEmpty());
        QVERIFY(pApp->MainFrame()->close());
        QVERIFY(!OwnThreads().intersects(setStarted));
        pApp->ExitInstance();
        QVERIFY(pApp->MainFrame() == nullptr);
    }

    void terminalTabTalksToTheSimulatedBus()
    {
        QString strError;
        auto pApp = StartOnTab(CTolvexView::kTabTerminal, strError);
        QVERIFY2(pApp, qPrintable(strError));
        CMainFrame* pFrame = pApp->MainFrame();
        CTolvexView* pView = pApp->View();
        QTabBar* pBar = pView->TabSheet()->TabBar();
        auto* pPage = qobject_cast<CComAssistDialog*>(pView->Page(CTolvexView::kTabTerminal));
        QVERIFY(pPage != nullptr && pPage->isVisible());
        QVERIFY(pView->Context().IsPortOpen());

        auto* pSend = pPage->findChild<QPlainTextEdit*>(QStringLiteral("editSend"));
        auto* pReceive = pPage->findChild<QPlainTextEdit*>(QStringLiteral("editReceive"));
        pSend->setFocus();
        QTest::keyClicks(pSend, QStringLiteral("S01;ADR?;"));
        QTest::keyClick(pSend, Qt::Key_Return);
        QTRY_COMPARE(pReceive->toPlainText(), QStringLiteral("01\n"));
        QCOMPARE(pPage->Port().ReceivedLog(), QByteArray("01\r\n"));
        QTest::mouseClick(pPage->findChild<QRadioButton*>(QStringLiteral("radioHexDisplay")),
                          Qt::LeftButton);
        QCOMPARE(pReceive->toPlainText(), QStringLiteral("30 31 0D 0A "));
        QTRY_COMPARE(pPage->findChild<QLabel*>(QStringLiteral("textSentCount"))->text(),
                     QStringLiteral("9"));
        QTRY_COMPARE(pPage->findChild<QLabel*>(QStringLiteral("textReceivedCount"))->text(),
                     QStringLiteral("4"));

        pPage->ArchiveReceive();
        const QStringList arrArchives =
            QDir(m_pRig->Path()).entryList({QStringLiteral("*.txt")}, QDir::Files);
        QCOMPARE(arrArchives.size(), 1);
        QFile archive(m_pRig->FilePath(arrArchives.first()));
        QVERIFY(archive.open(QIODevice::ReadOnly));
        QVERIFY(archive.readAll().startsWith("30 31 0D 0A "));
        QVERIFY(pReceive->toPlainText().isEmpty());
        QVERIFY(QFile::exists(m_pRig->FilePath(QStringLiteral("Comassist.dat"))));

        // Another tab and back: the page starts again from zero.
        QTest::mouseClick(pBar, Qt::LeftButton, {},
                          pBar->tabRect(CTolvexView::kTabParams).center());
        QVERIFY(!pPage->isVisible());
        QTest::mouseClick(pBar, Qt::LeftButton, {},
                          pBar->tabRect(CTolvexView::kTabTerminal).center());
        QVERIFY(pPage->isVisible());
        QCOMPARE(pPage->Port().SentBytes(), 0u);
        QCOMPARE(pPage->Port().ReceivedBytes(), 0u);
        QCOMPARE(pPage->findChild<QLabel*>(QStringLiteral("textSentCount"))->text(),
                 QStringLiteral("0"));

        QVERIFY(pFrame->close());
        pApp->ExitInstance();
        QVERIFY(pApp->MainFrame() == nullptr);
    }

private:
    std::unique_ptr<CTempSettings> m_pRig;
};

QTEST_MAIN(TerminalSystemTest)
#include "TerminalSystemTest.moc"
