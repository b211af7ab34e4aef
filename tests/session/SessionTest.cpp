#include "session/Session.h"
#include "link/BusLink.h"
#include "sim/PtySimulator.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

// The session of one run: stored settings and port map, and a device that
// serves the COM number in use for the run only.
class SessionTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString File() const { return m_dir.filePath(QStringLiteral("settings.conf")); }

private Q_SLOTS:
    void init() { QFile::remove(File()); }

    void deviceForTheRunIsNeverStored()
    {
        CSession session(File());
        session.LoadSettings();
        const QString strRun = m_dir.filePath(QStringLiteral("run-tty"));
        session.ServeForRun(strRun);
        QCOMPARE(session.DeviceFor(1), strRun);
        QCOMPARE(session.BusLink().DeviceForPort(1), strRun);
        QCOMPARE(session.DeviceFor(2), QString());

        // Confirmed in the serial dialog: the settings are stored, the device is not.
        ComSettings settings;
        settings.m_nBaud = 9600;
        session.ChangePort(settings, strRun);
        QCOMPARE(CPortMap(File()).DeviceFor(1), QString());
        QCOMPARE(session.DeviceFor(1), strRun);
        ComSettings stored;
        PlotSettings plot;
        CSettingsStore(File()).LoadReadOnly(stored, plot);
        QCOMPARE(stored, settings);

        // Another device for that number replaces the run's, and is stored.
        const QString strOther = m_dir.filePath(QStringLiteral("other-tty"));
        session.ChangePort(settings, strOther);
        QCOMPARE(CPortMap(File()).DeviceFor(1), strOther);
        QCOMPARE(session.DeviceFor(1), strOther);
        settings.m_nPort = 12;
        session.ChangePort(settings, strRun);
        QCOMPARE(CPortMap(File()).DeviceFor(12), strRun);
        QVERIFY(!session.BusLink().IsPortOpen());
    }

    void simulatorServesTheStoredComNumber()
    {
        ComSettings stored;
        stored.m_nPort = 7;
        QVERIFY(CSettingsStore(File()).SaveComSettings(stored));
        CSession session(File());
        session.LoadSettingsReadOnly();
        QCOMPARE(session.PortSettings(), stored);
        SimOptions options;
        options.m_arrAddresses = {17, 3};
        QString strError;
        QVERIFY2(session.StartSimulator(options, strError), qPrintable(strError));
        QCOMPARE(session.SimulatedAddresses(), (QList<int>{3, 17}));
        QCOMPARE(session.DeviceFor(7), session.Simulator()->SlavePath());

        QVERIFY(session.BusLink().OpenBusPort());
        QByteArray reply;
        std::thread worker([&] { session.BusLink().Query("S17;ADR?;", reply, 4, 2000); });
        worker.join();
        QCOMPARE(reply, QByteArray("17\r\n"));
        QFile file(File());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("PortMap"));
    }

    void curveSettingsAreStored()
    {
        PlotSettings changed;
        changed.m_nHistoryMax = 7;
        {
            CSession session(File());
            session.LoadSettings();
            QCOMPARE(session.GetPlotSettings(), PlotSettings());
            QVERIFY(session.ChangePlotSettings(changed));
            QCOMPARE(session.GetPlotSettings(), changed);
        }
        CSession session(File());
        session.LoadSettings();
        QCOMPARE(session.GetPlotSettings(), changed);
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "SessionTest.moc"
