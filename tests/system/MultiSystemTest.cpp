#include "AppRig.h"
#include "app/MainFrame.h"
#include "app/TabSheet.h"
#include "app/TolvexApp.h"
#include "app/TolvexView.h"
#include "multi/32DisplayDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The multi-module page in the whole tool on its simulated bus, and the same
// patrol from tolvex-cli.
class MultiSystemTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTempSettings> m_pRig;

    static QString BinPath(const char* pszName)
    {
        return QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath(QString::fromLatin1(pszName));
    }

private Q_SLOTS:
    void init()
    {
        m_pRig = std::make_unique<CTempSettings>();
        QVERIFY(m_pRig->IsValid());
    }

    void cleanup() { m_pRig.reset(); }

    void patrolsRecordsAndClosesCleanly()
    {
        QString strError;
        auto pApp = StartOnTab(CTolvexView::kTabMulti, strError);
        QVERIFY2(pApp, qPrintable(strError));
        CMainFrame* pFrame = pApp->MainFrame();
        CTolvexView* pView = pApp->View();
        auto* pPage = qobject_cast<C32DisplayDialog*>(pView->Page(1));
        QVERIFY(pPage && pPage->isVisible());

        // Highest address 17, chosen in the settings dialog.
        auto* pTimer = new QTimer(pPage);
        pTimer->setInterval(20);
        connect(pTimer, &QTimer::timeout, [pTimer] {
            auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!pDialog)
                return;
            pTimer->stop();
            pDialog->findChild<QComboBox*>("comboMaxAddress")->setCurrentIndex(17);
            pDialog->findChild<QPushButton*>("buttonOk")->click();
        });
        pTimer->start();
        pPage->findChild<QPushButton*>("buttonSettings")->click();
        QCOMPARE(pPage->Settings().m_nMaxAddress, 17);

        for (int nAddress : {1, 3, 17}) {
            const QString strLabel = QStringLiteral("AD%1:").arg(nAddress);
            QTRY_VERIFY_WITH_TIMEOUT(pPage->CellText(nAddress).size() > strLabel.size(), 20000);
        }
        QCOMPARE(pPage->CellText(2), QStringLiteral("AD2:"));

        // Record a few cycles, then close the window while recording.
        pPage->findChild<QPushButton*>("buttonSave")->click();
        QLineEdit* pCycle = pPage->findChild<QLineEdit*>("editCycle");
        for (int i = 0; i < 3; ++i) {
            pCycle->clear();
            QTRY_VERIFY_WITH_TIMEOUT(!pCycle->text().isEmpty(), 20000);
        }
        QVERIFY(pFrame->close());
        pApp->ExitInstance();
        QVERIFY(pApp->MainFrame() == nullptr);

        const QFileInfoList files = QDir(m_pRig->Path()).entryInfoList({"AD*.sdat"}, QDir::Files);
        QCOMPARE(files.size(), 18);
        for (const QFileInfo& info : files) {
            const int nAddress = info.fileName().mid(2).section('_', 0, 0).toInt();
            QVERIFY(nAddress >= 0 && nAddress <= 17);
            if (nAddress == 1 || nAddress == 3 || nAddress == 17) {
                QVERIFY2(info.size() >= 8 && info.size() % 4 == 0, qPrintable(info.fileName()));
            } else {
                QCOMPARE(info.size(), 0);
            }
        }
    }

    void cliPatrolsTheSimulatedBus()
    {
        const QString strFolder = m_pRig->FilePath(QStringLiteral("records"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_pRig->FilePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.start(BinPath("tolvex-cli"),
                      {"--simulate", "patrol", "--last", "17", "-n", "5", "--record", strFolder});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QStringList lines =
            QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        for (const QString& line : lines)
            QCOMPARE(line.split(' ').size(), 2 + 18);
        QCOMPARE(QDir(strFolder).entryList({"AD*.sdat"}, QDir::Files).size(), 18);
    }
};

QTEST_MAIN(MultiSystemTest)
#include "MultiSystemTest.moc"
