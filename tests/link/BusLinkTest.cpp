#include "link/BusLink.h"
#include "FakeDevice.h"
#include "link/BusPortWorker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

using Writes = QList<CFakeDevice::Write>;

namespace {

ComSettings Settings(int nPort, int nBaud, int nDataBits, int nStopBits, char cParity)
{
    ComSettings settings;
    settings.m_nPort = nPort;
    settings.m_nBaud = nBaud;
    settings.m_nDataBits = nDataBits;
    settings.m_nStopBits = nStopBits;
    settings.m_nParity = static_cast<quint8>(cParity);
    return settings;
}

// Everything logged in "tolvex.link" while it lives, with the log switched on.
class CLinkLogCapture
{
public:
    CLinkLogCapture()
    {
        s_pCapture = this;
        QLoggingCategory::setFilterRules(QStringLiteral("tolvex.link.debug=true"));
        m_previous = qInstallMessageHandler(&CLinkLogCapture::Handle);
    }
    ~CLinkLogCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
        s_pCapture = nullptr;
    }
    QString Text() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrLines.join(QLatin1Char('\n'));
    }

private:
    static void Handle(QtMsgType, const QMessageLogContext& context, const QString& strMessage)
    {
        CLinkLogCapture* pCapture = s_pCapture.load();
        if (pCapture && qstrcmp(context.category, "tolvex.link") == 0) {
            std::lock_guard lock(pCapture->m_mutex);
            pCapture->m_arrLines.append(strMessage);
        }
    }

    static inline std::atomic<CLinkLogCapture*> s_pCapture{nullptr};
    QtMessageHandler m_previous = nullptr;
    mutable std::mutex m_mutex;
    QStringList m_arrLines;
};

} // namespace

class BusLinkTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CFakeDevice> m_pDevice;
    std::unique_ptr<CBusLink> m_pLink;

    void OpenOnDevice()
    {
        const QString strPath = m_pDevice->SlavePath();
        m_pLink->SetDeviceResolver([strPath](int) { return strPath; });
        QVERIFY(m_pLink->OpenPort(ComSettings()));
        QVERIFY(m_pLink->IsPortOpen());
    }
    void Answer(const QByteArray& reply)
    {
        m_pDevice->SetResponder([reply](const QByteArray&) { return Writes{{reply, 0}}; });
    }

private Q_SLOTS:
    void init()
    {
        m_pDevice = std::make_unique<CFakeDevice>();
        m_pLink = std::make_unique<CBusLink>();
    }
    void cleanup()
    {
        m_pLink.reset();
        m_pDevice.reset();
    }

    void settingsTextAndDevices()
    {
        QCOMPARE(ComSettings().SettingsText(), QByteArray("19200,E,8,1"));
        QCOMPARE(Settings(2, 9600, 7, 2, 'O').SettingsText(), QByteArray("9600,O,7,2"));
        QCOMPARE(CBusLink::DefaultDevice(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(CBusLink::DefaultDevice(12), QStringLiteral("/dev/ttyS11"));
        m_pLink->SetDeviceResolver(
            [](int n) { return n == 3 ? QStringLiteral("/dev/ttyUSB0") : QString(); });
        QCOMPARE(m_pLink->DeviceForPort(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(m_pLink->DeviceForPort(4), QStringLiteral("/dev/ttyS3"));
    }

    void openFailures()
    {
        QString strMessage;
        m_pLink->SetOpenFailureReporter([&](const QString& s) { strMessage = s; });
        m_pLink->SetDeviceResolver([](int) { return QStringLiteral("/dev/tolvex-no-such-port"); });
        m_pLink->m_comSettings.m_nPort = 7;
        QVERIFY(!m_pLink->OpenBusPort());
        QVERIFY(!m_pLink->IsPortOpen());
        QCOMPARE(m_pLink->LastOpenError(), ENOENT);
        QCOMPARE(strMessage, QString::fromUtf8("串口7打开失败,错误码%1").arg(ENOENT));

        // A path that exists but is no serial device.
        QTemporaryDir dir;
        QFile file(dir.filePath("plain"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        m_pLink->SetDeviceResolver([&](int) { return file.fileName(); });
        QVERIFY(!m_pLink->OpenBusPort());
        QCOMPARE(m_pLink->LastOpenError(), ENOTTY);

        // Refused by permissions, even to root: the window's message gets the
        // dialout hint below it.
        const QString strDenied = QStringLiteral("/sys/kernel/uevent_seqnum");
        const int fd = ::open(QFile::encodeName(strDenied).constData(), O_RDWR | O_NOCTTY);
        const int nDeniedError = fd < 0 ? errno : 0;
        if (fd >= 0)
            ::close(fd);
        if (nDeniedError == EACCES) {
            m_pLink->SetDeviceResolver([&](int) { return strDenied; });
            QVERIFY(!m_pLink->OpenBusPort());
            QCOMPARE(strMessage, QString::fromUtf8("串口7打开失败,错误码%1\n(add yourself to the "
                                                   "group dialout and log in again)")
                                     .arg(EACCES));
            QVERIFY(!m_pLink->LastOpenFailure().m_bInUse);
        }

        // The port still works once a real device is named.
        OpenOnDevice();
        Answer("0\r\n");
        QVERIFY(m_pLink->Command("S01;TAR;", 1000));
    }

    void refusedLineSettings_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<char>("parity");
        QTest::addColumn<QString>("setting");
        QTest::newRow("baud 0") << 0 << 8 << 1 << 'E' << "baud rate 0";
        QTest::newRow("negative baud") << -9600 << 8 << 1 << 'E' << "baud rate -9600";
        QTest::newRow("9 data bits") << 19200 << 9 << 1 << 'E' << "9 data bits";
        QTest::newRow("4 data bits") << 19200 << 4 << 1 << 'E' << "4 data bits";
        QTest::newRow("parity X") << 19200 << 8 << 1 << 'X' << "parity X";
        QTest::newRow("3 stop bits") << 19200 << 8 << 3 << 'N' << "3 stop bits";
    }
    void refusedLineSettings()
    {
        QFETCH(int, baud);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(char, parity);
        QFETCH(QString, setting);
        const QString strPath = m_pDevice->SlavePath();
        m_pLink->SetDeviceResolver([strPath](int) { return strPath; });
        QString strMessage;
        m_pLink->SetOpenFailureReporter([&](const QString& s) { strMessage = s; });
        m_pLink->m_comSettings = Settings(4, baud, dataBits, stopBits, parity);
        QVERIFY(!m_pLink->OpenBusPort());
        QVERIFY(!m_pLink->IsPortOpen());
        QCOMPARE(m_pLink->LastOpenError(), EINVAL);
        QCOMPARE(strMessage, QString::fromUtf8("串口4打开失败,错误码%1").arg(EINVAL));
        const CPortOpenFailure failure = m_pLink->LastOpenFailure();
        QCOMPARE(failure.m_strRefusedSetting, setting);
        QVERIFY2(failure.Text().startsWith(strPath + ": cannot open: the port refused " + setting),
                 qPrintable(failure.Text()));

        // Nothing of the refused open is left behind: good settings open and work.
        OpenOnDevice();
        Answer("0\r\n");
        QVERIFY(m_pLink->Command("S01;TAR;", 1000, false));
    }

    void openFailureTexts()
    {
        CPortOpenFailure missing;
        missing.m_strDevice = QStringLiteral("/dev/ttyUSB9");
        missing.m_nError = ENOENT;
        QCOMPARE(missing.Text(), "/dev/ttyUSB9: cannot open: " + qt_error_string(ENOENT));

        CPortOpenFailure denied = missing;
        denied.m_nError = EACCES;
        QCOMPARE(denied.Text(), "/dev/ttyUSB9: cannot open: " + qt_error_string(EACCES) +
                                    " (add yourself to the group dialout and log in again)");
        QVERIFY(CPortOpenFailure::Hint(ENOENT).isEmpty());

        CPortOpenFailure held = missing;
        held.m_nError = EBUSY;
        held.m_bInUse = true;
        QCOMPARE(held.Text(), "/dev/ttyUSB9: cannot open: in use (" + qt_error_string(EBUSY) + ")");
        held.m_strHolder = QStringLiteral("pid 42 (minicom)");
        QCOMPARE(held.Text(),
                 QStringLiteral("/dev/ttyUSB9: cannot open: in use by pid 42 (minicom)"));

        // The probe names the system's reason for a path that is not there.
        const CPortOpenFailure probed =
            CPortOpenFailure::Probe(QStringLiteral("/dev/tolvex-no-such-port"), false);
        QCOMPARE(probed.m_nError, ENOENT);
        QVERIFY(!probed.m_bInUse);
    }

    void portHeldByAnotherLink()
    {
        OpenOnDevice();
        CBusLink other;
        const QString strPath = m_pDevice->SlavePath();
        other.SetDeviceResolver([strPath](int) { return strPath; });
        QVERIFY(!other.OpenPort(ComSettings()));
        const CPortOpenFailure failure = other.LastOpenFailure();
        QVERIFY2(failure.m_bInUse, qPrintable(failure.Text()));
        QCOMPARE(other.LastOpenError(), EBUSY);
        QVERIFY2(failure.Text().startsWith(strPath + ": cannot open: in use"),
                 qPrintable(failure.Text()));
        // The holder keeps working.
        Answer("0\r\n");
        QVERIFY(m_pLink->Command("S01;TAR;", 1000, false));
    }

    void lossFailsTheExchangeInFlightAndStopsPolling()
    {
        OpenOnDevice();
        QObject relay;
        QStringList lost;
        QObject::connect(m_pLink.get(), &CBusLink::PortLost, &relay,
                         [&lost](const QString& strReason) { lost << strReason; });
        std::thread vanisher([this] {
            QTest::qSleep(200);
            m_pDevice->Vanish();
        });
        // The device never answers; only the loss can end this exchange early.
        QElapsedTimer timer;
        timer.start();
        qint32 nValue = 0;
        QVERIFY(!m_pLink->ReadMeasuredValue(1, nValue, 6, 30000));
        QVERIFY2(timer.elapsed() < 15000, "the exchange waited for its time-out");
        vanisher.join();
        QVERIFY(!m_pLink->IsPortOpen());
        QTRY_COMPARE(lost.count(), 1);
        QVERIFY(!lost.at(0).isEmpty());
    }

    void lossIsSeenWithoutATransaction()
    {
        OpenOnDevice();
        QObject relay;
        QStringList lost;
        QObject::connect(m_pLink.get(), &CBusLink::PortLost, &relay,
                         [&lost](const QString& strReason) { lost << strReason; });
        // Raw traffic, as the terminal page or tolvex-cli send carry it.
        std::atomic<int> nReceived{0};
        m_pLink->SetTerminalReceiver([&](const QByteArray& data) { nReceived += data.size(); });
        m_pLink->m_bTerminalShown = 1;
        m_pDevice->Inject("hello");
        QTRY_COMPARE(nReceived.load(), 5);
        m_pDevice->Vanish();
        QTRY_COMPARE(lost.count(), 1);
        QVERIFY(!m_pLink->IsPortOpen());
        m_pLink->m_bTerminalShown = 0;
        m_pLink->SetTerminalReceiver(nullptr);
    }

    void linkLog()
    {
        CLinkLogCapture capture;
        m_pDevice->Inject("old\r\n");
        const QString strPath = m_pDevice->SlavePath();
        m_pLink->SetDeviceResolver([strPath](int) { return strPath; });
        m_pLink->m_comSettings.m_nBaud = 0;
        QVERIFY(!m_pLink->OpenBusPort());
        OpenOnDevice();
        QByteArray reply;
        m_pDevice->SetResponder([](const QByteArray& frame) {
            if (frame.contains("FMD"))
                return Writes{{"1\r\n", 0}};
            return Writes{{"?\r\n", 0}};
        });
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QVERIFY(m_pLink->Query("S01;TAV?;", reply, 10, 1500));
        m_pDevice->SetResponder(nullptr);
        QVERIFY(!m_pLink->Command("S01;TAR;", 100, false));
        m_pDevice->Vanish();
        // The loss is logged last, on the I/O thread, after the port reads closed.
        QTRY_VERIFY(capture.Text().contains(QLatin1String("names no device that can come back")));

        const QString strLog = capture.Text();
        for (const char* pszExpected :
             {"opened", "19200,E,8,1",
              "stale input dropped on open: old\\x0D\\x0A [6F 6C 64 0D 0A]",
              "sent S01;FMD?; [53 30 31 3B 46 4D 44 3F 3B]",
              "reply (count after 0 ticks): 1\\x0D\\x0A [31 0D 0A]",
              "reply (CR LF after 11 ticks): ?\\x0D\\x0A [3F 0D 0A]", "time-out: 100 ms",
              "hang-up on", "names no device that can come back", "refused baud rate 0"})
            QVERIFY2(strLog.contains(QLatin1String(pszExpected)),
                     qPrintable(QStringLiteral("no \"%1\" in:\n%2").arg(pszExpected, strLog)));
    }

    void pendingOutputCountsWhatIsNotSent()
    {
        // A device that reads nothing: the bytes pile up in front of it.
        const int nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(nMaster >= 0);
        ::grantpt(nMaster);
        ::unlockpt(nMaster);
        const QString strSlave = QString::fromLocal8Bit(::ptsname(nMaster));
        m_pLink->SetDeviceResolver([strSlave](int) { return strSlave; });
        QVERIFY(m_pLink->OpenPort(ComSettings()));
        QCOMPARE(m_pLink->PendingOutput(), 0);
        const QByteArray block(4 * 1024 * 1024, 'x');
        m_pLink->SendBytes(block);
        QVERIFY(m_pLink->PendingOutput() > 0);
        QTest::qWait(200);
        QVERIFY(m_pLink->PendingOutput() > 0);
        QVERIFY(m_pLink->PendingOutput() <= block.size());

        // Read it all: the count goes back to nothing.
        qint64 nRead = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                char buffer[65536];
                ssize_t n = 0;
                while ((n = ::read(nMaster, buffer, sizeof buffer)) > 0)
                    nRead += n;
                return nRead == block.size() && m_pLink->PendingOutput() == 0;
            }(),
            20000);
        m_pLink->ClosePort();
        ::close(nMaster);
    }

    void acknowledgements_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain") << QByteArray("0\r\n") << true;
        QTest::newRow("with more") << QByteArray("0\r\n12\r\n") << true;
        QTest::newRow("space first") << QByteArray(" 0\r\n") << false;
        QTest::newRow("digit first") << QByteArray("10\r\n") << false;
        QTest::newRow("refused") << QByteArray("?\r\n") << false;
    }
    void acknowledgements()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        OpenOnDevice();
        Answer(reply);
        QCOMPARE(m_pLink->Command("S01;FMD1;", 1000, false), ok);
        QCOMPARE(m_pDevice->Frames().value(0), QByteArray("S01;FMD1;"));
    }

    void attemptsWithoutReply()
    {
        OpenOnDevice();
        QByteArray reply = "untouched";
        QVERIFY(!m_pLink->Query("S05;FMD?;", reply, 3, 150));
        QCOMPARE(reply, QByteArray("untouched"));
        QTRY_COMPARE(m_pDevice->FrameCount(), 2);
        QVERIFY(!m_pLink->Command("S05;TAR;", 150, true));
        QTRY_COMPARE(m_pDevice->FrameCount(), 4);
        QVERIFY(!m_pLink->Command("S05;TAR;", 150, false));
        QTRY_COMPARE(m_pDevice->FrameCount(), 5);
        qint32 nValue = 0;
        QVERIFY(!m_pLink->ReadMeasuredValue(5, nValue, 6, 150));
        QTRY_COMPARE(m_pDevice->FrameCount(), 6);
        QCOMPARE(m_pDevice->Frames().last(), QByteArray("S05;MSV?;"));
    }

    void measuredValueThroughPort()
    {
        OpenOnDevice();
        Answer(QByteArray("\x01\x02\x04\x00\r\n", 6));
        qint32 nValue = 0;
        m_pLink->m_bChecksum = 0;
        QVERIFY(m_pLink->ReadMeasuredValue(3, nValue, 6, 1000));
        QCOMPARE(nValue, 66052);
        m_pLink->m_bChecksum = 1;
        QVERIFY(!m_pLink->ReadMeasuredValue(3, nValue, 6, 1000));
        QCOMPARE(m_pDevice->Frames().value(0), QByteArray("S03;MSV?;"));

        m_pLink->ClosePort();
        QVERIFY(!m_pLink->ReadMeasuredValue(3, nValue, 6, 1000));
        QCOMPARE(m_pDevice->FrameCount(), 2);
    }

    void repliesSplitShortAndLong()
    {
        OpenOnDevice();
        QByteArray reply;

        // One byte at a time.
        m_pDevice->SetResponder([](const QByteArray&) {
            Writes writes;
            for (char c : QByteArray("+0012345\r\n"))
                writes.append({QByteArray(1, c), 3});
            return writes;
        });
        QVERIFY(m_pLink->Query("S01;TAV?;", reply, 10, 1500));
        QCOMPARE(reply, QByteArray("+0012345\r\n"));

        // A short refusal is taken by its CR LF once the pauses run out.
        Answer("?\r\n");
        QVERIFY(m_pLink->Query("S01;LDW?;", reply, 10, 1500));
        QCOMPARE(reply, QByteArray("?\r\n"));

        // A longer reply than expected is not cut at the expected length.
        Answer("480\r\n");
        QVERIFY(m_pLink->Query("S01;ICR?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("480\r\n"));

        // Two replies at once are one reply text.
        Answer("1\r\n2\r\n");
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("1\r\n2\r\n"));

        // Far more than the reply buffer holds: bounded, and the link goes on.
        Answer(QByteArray(5000, 'x') + "\r\n");
        QVERIFY(m_pLink->Query("S01;IDN?;", reply, 33, 1500));
        QVERIFY(reply.size() <= CBusLink::kReplyBufferSize);
        QVERIFY(reply.startsWith("xxx"));
        Answer("07\r\n");
        QVERIFY(m_pLink->Query("S07;ADR?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("07\r\n"));
    }

    void garbageIsDiscarded()
    {
        OpenOnDevice();
        // Noise shorter than expected and without CR LF: discarded, both attempts fail.
        Answer(QByteArray("\x13\x37", 2));
        QByteArray reply;
        QVERIFY(!m_pLink->Query("S01;FMD?;", reply, 3, 600));
        QCOMPARE(m_pDevice->FrameCount(), 2);
        Answer("1\r\n");
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("1\r\n"));

        // Unsolicited bytes between exchanges never become the next reply.
        m_pDevice->Inject("junk\r\n");
        QTest::qWait(50);
        Answer("0\r\n");
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("0\r\n"));
    }

    void lateReplyIsNotTakenByTheNextExchange()
    {
        OpenOnDevice();
        std::atomic<int> nFrame{0};
        m_pDevice->SetResponder([&](const QByteArray&) {
            // The first answer comes after its exchange gave up.
            if (nFrame++ == 0)
                return Writes{{"1\r\n", 400}};
            return Writes{{"2\r\n", 0}};
        });
        QByteArray reply;
        QVERIFY(!m_pLink->Command("S01;FMD1;", 100, false));
        QTest::qWait(500);
        QVERIFY(m_pLink->Query("S01;ASF?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("2\r\n"));
    }

    void acknowledgementAfterLongReplyIsNotHeld()
    {
        OpenOnDevice();
        m_pDevice->SetResponder([](const QByteArray& frame) {
            if (frame.contains("IDN?"))
                return Writes{{"ADM,LOADCELL-TX-200,0012345,1.0\r\n", 0}};
            return Writes{{"0\r\n", 0}};
        });
        QByteArray reply;
        QVERIFY(m_pLink->Query("S01;IDN?;", reply, 33, 1500));
        // Waiting for 33 bytes would hold this ack for all eleven pauses (330 ms).
        QVERIFY(m_pLink->Command("S01;TDD1;", 200, false));
    }

    void terminalRouting()
    {
        OpenOnDevice();
        QByteArray received;
        std::mutex mutex;
        m_pLink->SetTerminalReceiver([&](const QByteArray& data) {
            std::lock_guard lock(mutex);
            received += data;
        });
        m_pLink->m_bTerminalShown = 1;
        Answer("0\r\n");
        QVERIFY(!m_pLink->Command("S01;TAR;", 200, false));
        QTRY_VERIFY([&] {
            std::lock_guard lock(mutex);
            return received == "0\r\n";
        }());
        m_pLink->m_bTerminalShown = 0;
        QVERIFY(m_pLink->Command("S01;TAR;", 1000, false));
    }

    void staleInputDroppedOnOpen()
    {
        m_pDevice->Inject("stale bytes\r\n");
        OpenOnDevice();
        Answer("1\r\n");
        QByteArray reply;
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("1\r\n"));
    }

    void reopenWhileOpen()
    {
        OpenOnDevice();
        CFakeDevice other;
        const QString strOther = other.SlavePath();
        m_pLink->SetDeviceResolver([strOther](int) { return strOther; });
        QVERIFY(m_pLink->OpenPort(Settings(2, 9600, 7, 2, 'O')));
        QCOMPARE(m_pLink->OpenDevice(), strOther);
        other.SetResponder([](const QByteArray&) { return Writes{{"0\r\n", 0}}; });
        QVERIFY(m_pLink->Command("S01;TAR;", 1000, false));
        QCOMPARE(other.FrameCount(), 1);
        QCOMPARE(m_pDevice->FrameCount(), 0);
    }

    void lostDeviceIsReopenedByItself()
    {
        QTemporaryDir dir;
        const QString strLink = dir.filePath("ttyBUS");
        QVERIFY(QFile::link(m_pDevice->SlavePath(), strLink));
        m_pLink->SetDeviceResolver([strLink](int) { return strLink; });
        QVERIFY(m_pLink->OpenPort(ComSettings()));
        QObject relay;
        QStringList lost;
        QObject::connect(m_pLink.get(), &CBusLink::PortLost, &relay,
                         [&lost](const QString& strReason) { lost << strReason; });
        int nBack = 0;
        QObject::connect(m_pLink.get(), &CBusLink::PortReconnected, &relay, [&nBack] { ++nBack; });
        // Unplugged in the middle of the exchange; its name goes with it.
        const auto unplug = [&] {
            m_pDevice->Vanish();
            QFile::remove(strLink);
        };
        const auto plugIn = [&] {
            m_pDevice = std::make_unique<CFakeDevice>();
            QVERIFY(QFile::link(m_pDevice->SlavePath(), strLink));
        };
        std::thread vanisher([&] {
            QTest::qSleep(100);
            unplug();
        });
        QByteArray reply;
        QVERIFY(!m_pLink->Query("S01;FMD?;", reply, 3, 500));
        vanisher.join();
        QTRY_COMPARE(lost.count(), 1);
        QVERIFY(!m_pLink->IsPortOpen());
        qint32 nValue = 0;
        QVERIFY(!m_pLink->ReadMeasuredValue(1, nValue, 6, 500));

        // Plugged in again: a new device behind the same name, opened without being asked.
        plugIn();
        QTRY_COMPARE_WITH_TIMEOUT(nBack, 1, 15000);
        QVERIFY(m_pLink->IsPortOpen());
        Answer("1\r\n");
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("1\r\n"));

        // Closed by hand while it is gone: it stays closed when it comes back.
        unplug();
        QTRY_COMPARE(lost.count(), 2);
        m_pLink->ClosePort();
        plugIn();
        QTest::qWait(3 * CBusPortWorker::kRetryIntervalMs);
        QCOMPARE(nBack, 1);
        QVERIFY(!m_pLink->IsPortOpen());
    }

    void portOperationsNeverWaitForATransaction()
    {
        // The device never answers: only a port operation can end these exchanges early.
        OpenOnDevice();
        std::atomic<bool> bDone{false};
        std::thread worker([&] {
            m_pLink->Command("S01;TAR;", 60000, false);
            bDone = true;
        });
        QTRY_COMPARE(m_pDevice->FrameCount(), 1);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_pLink->OpenPort(ComSettings()));
        QTRY_VERIFY_WITH_TIMEOUT(bDone.load(), 15000);
        worker.join();
        QVERIFY2(timer.elapsed() < 15000, "the reopen waited for the exchange's time-out");

        // A transaction on a closed port waits without the bus mutex: another
        // one runs as soon as the port is open again.
        m_pLink->ClosePort();
        bDone = false;
        std::atomic<bool> bClosedReply{true};
        worker = std::thread([&] {
            QByteArray reply;
            bClosedReply = m_pLink->Query("S02;FMD?;", reply, 3, 60000);
            bDone = true;
        });
        std::atomic<bool> bAnswered{false};
        QTest::qWait(200);
        timer.restart();
        QVERIFY(m_pLink->OpenPort(ComSettings()));
        Answer("0\r\n");
        std::thread other([&] { bAnswered = m_pLink->Command("S01;TAR;", 1000, false); });
        QTRY_VERIFY_WITH_TIMEOUT(bAnswered.load(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(bDone.load(), 15000);
        other.join();
        worker.join();
        QVERIFY2(timer.elapsed() < 15000, "a transaction waited on the closed port with the mutex");
        QVERIFY(!bClosedReply.load());
        for (const QByteArray& frame : m_pDevice->Frames())
            QVERIFY2(!frame.startsWith("S02"), frame.constData());
    }

    void transactionsDoNotInterleave()
    {
        OpenOnDevice();
        m_pDevice->SetResponder([](const QByteArray& frame) {
            // Echo the address back after a pause, so overlapping sends would show.
            return Writes{{frame.mid(1, 2) + "\r\n", 5}};
        });
        std::atomic<int> nWrong{0};
        auto run = [&](int nAddress) {
            const QByteArray command =
                QStringLiteral("S%1;ADR?;").arg(nAddress, 2, 10, QLatin1Char('0')).toLatin1();
            for (int i = 0; i < 20; ++i) {
                QByteArray reply;
                if (!m_pLink->Query(command, reply, 3, 1500) || reply != command.mid(1, 2) + "\r\n")
                    ++nWrong;
            }
        };
        std::thread a(run, 4), b(run, 9);
        a.join();
        b.join();
        QCOMPARE(nWrong.load(), 0);
        for (const QByteArray& frame : m_pDevice->Frames())
            QVERIFY2(frame == "S04;ADR?;" || frame == "S09;ADR?;", frame.constData());
    }
};

QTEST_GUILESS_MAIN(BusLinkTest)
#include "BusLinkTest.moc"
