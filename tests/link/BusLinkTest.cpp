#include "FakeDevice.h"
#include "link/BusLink.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

using Writes = QList<CFakeDevice::Write>;

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
        QVERIFY(m_pLink->OpenPort(1, 19200, 8, 1, 'E'));
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
        QCOMPARE(CBusLink::SettingsText(19200, 'E', 8, 1), QByteArray("19200,E,8,1"));
        QCOMPARE(CBusLink::SettingsText(9600, 'O', 7, 2), QByteArray("9600,O,7,2"));
        QCOMPARE(CBusLink::DefaultDevice(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(CBusLink::DefaultDevice(12), QStringLiteral("/dev/ttyS11"));
        m_pLink->SetDeviceResolver([](int n) { return n == 3 ? QStringLiteral("/dev/ttyUSB0") : QString(); });
        QCOMPARE(m_pLink->DeviceForPort(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(m_pLink->DeviceForPort(4), QStringLiteral("/dev/ttyS3"));
    }

    void measuredValueDecoding_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("most negative") << QByteArray("\x80\x00\x00\x80\r\n", 6) << true << true << -8388608;
        QTest::newRow("most positive") << QByteArray("\x7f\xff\xff\x7f\r\n", 6) << true << true << 8388607;
        QTest::newRow("minus one") << QByteArray("\xff\xff\xff\xff\r\n", 6) << true << true << -1;
        QTest::newRow("good check") << QByteArray("\x01\x02\x04\x07\r\n", 6) << true << true << 66052;
        QTest::newRow("good check, off") << QByteArray("\x01\x02\x04\x07\r\n", 6) << false << true << 66052;
        QTest::newRow("bad check") << QByteArray("\x01\x02\x04\x00\r\n", 6) << true << false << 0;
        QTest::newRow("bad check, off") << QByteArray("\x01\x02\x04\x00\r\n", 6) << false << true << 66052;
        QTest::newRow("five bytes") << QByteArray("\x01\x02\x04\x07\r", 5) << false << false << 0;
    }
    void measuredValueDecoding()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, checksum);
        QFETCH(bool, ok);
        QFETCH(int, value);
        qint32 nValue = 0;
        QCOMPARE(CBusLink::DecodeMeasuredValue(reply, checksum, nValue), ok);
        if (ok)
            QCOMPARE(nValue, value);
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
        QVERIFY(m_pLink->LastOpenError() != 0);

        // The port still works once a real device is named.
        OpenOnDevice();
        Answer("0\r\n");
        QVERIFY(m_pLink->Command("S01;TAR;", 1000));
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
        QVERIFY(!m_pLink->Exchange("S01;FMD?;", reply, 3, 100));
        QTest::qWait(500);
        QVERIFY(m_pLink->Exchange("S01;ASF?;", reply, 3, 1500));
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
        QVERIFY(m_pLink->OpenPort(2, 9600, 7, 2, 'O'));
        QCOMPARE(m_pLink->OpenDevice(), strOther);
        other.SetResponder([](const QByteArray&) { return Writes{{"0\r\n", 0}}; });
        QVERIFY(m_pLink->Command("S01;TAR;", 1000, false));
        QCOMPARE(other.FrameCount(), 1);
        QCOMPARE(m_pDevice->FrameCount(), 0);
    }

    void deviceVanishesAndComesBack()
    {
        QTemporaryDir dir;
        const QString strLink = dir.filePath("ttyBUS");
        QVERIFY(QFile::link(m_pDevice->SlavePath(), strLink));
        m_pLink->SetDeviceResolver([strLink](int) { return strLink; });
        QVERIFY(m_pLink->OpenPort(1, 19200, 8, 1, 'E'));
        QSignalSpy lost(m_pLink.get(), &CBusLink::PortLost);

        // Unplugged in the middle of the exchange.
        std::thread vanisher([this] {
            QTest::qSleep(100);
            m_pDevice->Vanish();
        });
        QByteArray reply;
        QVERIFY(!m_pLink->Query("S01;FMD?;", reply, 3, 500));
        vanisher.join();
        QTRY_VERIFY(!m_pLink->IsPortOpen());
        QTRY_COMPARE(lost.count(), 1);
        qint32 nValue = 0;
        QVERIFY(!m_pLink->ReadMeasuredValue(1, nValue, 6, 500));

        // Plugged in again: a new device behind the same name, reopened.
        m_pDevice = std::make_unique<CFakeDevice>();
        QFile::remove(strLink);
        QVERIFY(QFile::link(m_pDevice->SlavePath(), strLink));
        QVERIFY(m_pLink->OpenPort(1, 19200, 8, 1, 'E'));
        Answer("1\r\n");
        QVERIFY(m_pLink->Query("S01;FMD?;", reply, 3, 1500));
        QCOMPARE(reply, QByteArray("1\r\n"));
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
            const QByteArray command = QStringLiteral("S%1;ADR?;").arg(nAddress, 2, 10, QLatin1Char('0')).toLatin1();
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
