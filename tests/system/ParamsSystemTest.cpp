#include "app/MainFrame.h"
#include "app/TolvexApp.h"
#include "app/TolvexView.h"
#include "params/ParamSettingsDialog.h"
#include "settings/PortMap.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

QString BinPath(const char* pszName)
{
    return QDir(qEnvironmentVariable("TOLVEX_BIN_DIR")).filePath(QString::fromLatin1(pszName));
}

} // namespace

// The parameter page in the whole tool on a tolvex-sim bus of modules 3 and
// 17, then tolvex-cli on the same bus: what the window saved is what the
// command line reads, and a parameter file carries one module to the other.
class ParamsSystemTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_strOldCwd;
    QString m_strConfig;

    struct Result
    {
        int m_nExit = -1;
        QString m_strOut;
        QString m_strErr;
    };

    Result Cli(const QString& strDevice, const QStringList& arrArgs)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_strConfig);
        process.setProcessEnvironment(env);
        process.start(BinPath("tolvex-cli"),
                      QStringList{QStringLiteral("--port"), strDevice} + arrArgs);
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private Q_SLOTS:
    void init()
    {
        m_pDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pDir->isValid());
        m_strConfig = m_pDir->filePath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_strConfig));
        m_strOldCwd = QDir::currentPath();
        QDir::setCurrent(m_pDir->path());
    }
    void cleanup()
    {
        QDir::setCurrent(m_strOldCwd);
        m_pDir.reset();
    }

    void windowSavesAndTheCommandLineCarriesOn()
    {
        QProcess sim;
        sim.start(BinPath("tolvex-sim"), {"--modules", "3,17"});
        QVERIFY(sim.waitForStarted(10000) && sim.waitForReadyRead(10000));
        const QString strDevice = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY(CPortMap(QDir(m_strConfig).filePath("Kavro/TolvexSoftware.conf"))
                    .SetDevice(1, strDevice));
        const QString strRecording = m_pDir->filePath(QStringLiteral("weights.dat"));

        {
            auto pApp = std::make_unique<CTolvexApp>(CTolvexApp::Options());
            QString strError;
            QVERIFY2(pApp->InitInstance(strError), qPrintable(strError));
            CMainFrame* pFrame = pApp->MainFrame();
            QVERIFY(QTest::qWaitForWindowExposed(pFrame));
            CParamSettingsDialog* pPage = pApp->View()->ParamPage();
            QVERIFY(pPage->isVisible());
            QStringList arrProgress;
            connect(&pPage->Worker(), &CParamWorker::ProgressShown, pPage,
                    [&](const QString& strText) { arrProgress.append(strText); });

            // Scan: both modules found, the first one read.
            pPage->findChild<QPushButton*>("buttonScan")->click();
            QTRY_COMPARE_WITH_TIMEOUT(pPage->FoundAddresses(), (QList<int>{3, 17}), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(pPage->IsModuleRead(), 20000);
            QCOMPARE(pPage->State().m_nSelectedAddress, 3);

            // ADI changed and saved.
            QLineEdit* pAdi = pPage->findChild<QLineEdit*>("editAdi");
            pAdi->selectAll();
            pAdi->insert(QStringLiteral("123"));
            Q_EMIT pAdi->editingFinished();
            QCOMPARE(pPage->Record().m_nAdi, 123);
            pPage->findChild<QPushButton*>("buttonSave")->click();
            QTRY_VERIFY_WITH_TIMEOUT(arrProgress.contains(QStringLiteral("保存TDD1...")), 20000);

            // A short recording, then the window closes.
            QVERIFY(pPage->StartRecording(strRecording));
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(strRecording).size() >= 12 * 20, 20000);
            pPage->StopRecording();
            QVERIFY(pFrame->close());
            pApp->ExitInstance();
        }

        const Result read3 = Cli(strDevice, {"read", "3"});
        QCOMPARE(read3.m_nExit, 0);
        QVERIFY2(read3.m_strOut.contains("ADI=123\n"), qPrintable(read3.m_strOut));
        const QString strFile = m_pDir->filePath(QStringLiteral("f.stp"));
        QCOMPARE(Cli(strDevice, {"export", "3", strFile}).m_nExit, 0);
        QCOMPARE(Cli(strDevice, {"import", "17", strFile}).m_nExit, 0);
        QCOMPARE(Cli(strDevice, {"read", "17"}).m_strOut, read3.m_strOut);
        const Result moved = Cli(strDevice, {"readdress", "17", "20"});
        QCOMPARE(moved.m_nExit, 0);
        QCOMPARE(Cli(strDevice, {"scan"}).m_strOut, QStringLiteral("3\n20\n"));

        // The recording: whole records, their times never going back.
        QFile file(strRecording);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.size() >= 12 * 20);
        QCOMPARE(bytes.size() % 12, 0);
        quint64 nPrevious = 0;
        for (qsizetype i = 0; i < bytes.size(); i += 12) {
            const quint64 nTime = qFromLittleEndian<quint32>(bytes.constData() + i) |
                                  quint64(qFromLittleEndian<quint32>(bytes.constData() + i + 4))
                                      << 32;
            QVERIFY(nTime >= nPrevious);
            nPrevious = nTime;
        }
        // Written now: within a day of the file's own time (file times count from 1601).
        const qint64 nUnixMs = qint64(nPrevious / 10000) - 11644473600000LL;
        QVERIFY(qAbs(nUnixMs - QDateTime::currentMSecsSinceEpoch()) < 86400000LL);

        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }
};

QTEST_MAIN(ParamsSystemTest)
#include "ParamsSystemTest.moc"
