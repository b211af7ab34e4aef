#include "link/BusLink.h"
#include "sim/PtySimulator.h"
#include "sim/SimTransport.h"
#include "sim/TcpSimulator.h"

#include <QTcpServer>
#include <QTest>

#include <cerrno>
#include <memory>

namespace {

// One simulated bus behind each kind of transport the link has.
class CSimEnd
{
public:
    virtual ~CSimEnd() = default;
    // The device text to open; empty when it cannot start.
    virtual QString Start() = 0;
    virtual void Stop() = 0;
    virtual CSimBus& Bus() = 0;
    virtual void Prepare(CBusLink&) {}
};

class CPtyEnd : public CSimEnd
{
public:
    QString Start() override { return m_sim.Start(); }
    void Stop() override { m_sim.Stop(); }
    CSimBus& Bus() override { return m_sim.Bus(); }

private:
    CPtySimulator m_sim;
};

class CTcpEnd : public CSimEnd
{
public:
    // The same port again after a stop, as a device server keeps its address.
    QString Start() override { return m_sim.Start(QStringLiteral("127.0.0.1"), m_nPort); }
    void Stop() override
    {
        m_nPort = static_cast<quint16>(m_sim.Device().section(QLatin1Char(':'), -1).toUInt());
        m_sim.Stop();
    }
    CSimBus& Bus() override { return m_sim.Bus(); }

private:
    CTcpSimulator m_sim;
    quint16 m_nPort = 0;
};

class CInProcessEnd : public CSimEnd
{
public:
    QString Start() override { return QLatin1String(CSimTransport::kDevice); }
    void Stop() override {}
    CSimBus& Bus() override { return m_bus; }
    void Prepare(CBusLink& link) override
    {
        link.SetTransportFactory(CSimTransport::Factory(m_bus));
    }

private:
    CSimBus m_bus;
};

std::unique_ptr<CSimEnd> MakeEnd(const QString& strKind)
{
    if (strKind == QLatin1String("tcp"))
        return std::make_unique<CTcpEnd>();
    if (strKind == QLatin1String("in process"))
        return std::make_unique<CInProcessEnd>();
    return std::make_unique<CPtyEnd>();
}

bool OpenOn(CBusLink& link, const QString& strDevice)
{
    link.SetDeviceResolver([strDevice](int) { return strDevice; });
    link.m_comSettings = ComSettings();
    return link.OpenPort(link.m_comSettings);
}

} // namespace

class TransportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transactions_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* pszKind : {"pty", "tcp", "in process"})
            QTest::newRow(pszKind) << QString::fromLatin1(pszKind);
    }
    void transactions()
    {
        QFETCH(QString, kind);
        const std::unique_ptr<CSimEnd> pEnd = MakeEnd(kind);
        const QString strDevice = pEnd->Start();
        QVERIFY(!strDevice.isEmpty());
        CBusLink link;
        pEnd->Prepare(link);
        QVERIFY(OpenOn(link, strDevice));

        QByteArray reply;
        QVERIFY(link.Query("S17;ADR?;", reply, 4, 1500));
        QCOMPARE(reply, QByteArray("17\r\n"));
        QVERIFY(link.Command("S03;TAR;", 1500, false));
        qint32 nValue = 0;
        QVERIFY(link.ReadMeasuredValue(1, nValue, 6, 1500));
        // No module at 2: nothing answers.
        QVERIFY(!link.ReadMeasuredValue(2, nValue, 6, 300));
        QCOMPARE(pEnd->Bus().FrameLog(),
                 QList<QByteArray>({"S17;ADR?;", "S03;TAR;", "S01;MSV?;", "S02;MSV?;"}));

        // A reply cut into single bytes is still one reply.
        SimFaults faults;
        faults.m_bSplit = true;
        faults.m_nSplitPauseMs = 2;
        pEnd->Bus().SetFaults(faults);
        QVERIFY(link.Query("S03;ADR?;", reply, 4, 1500));
        QCOMPARE(reply, QByteArray("03\r\n"));
        link.ClosePort();
        pEnd->Stop();
    }

    void tcpDeviceServerGoesAndComesBack()
    {
        CTcpEnd end;
        const QString strDevice = end.Start();
        QVERIFY(!strDevice.isEmpty());
        CBusLink link;
        QVERIFY(OpenOn(link, strDevice));
        QObject relay;
        QStringList lost;
        QObject::connect(&link, &CBusLink::PortLost, &relay,
                         [&lost](const QString& strReason) { lost << strReason; });
        int nBack = 0;
        QObject::connect(&link, &CBusLink::PortReconnected, &relay, [&nBack] { ++nBack; });

        end.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 15000);
        QVERIFY(!link.IsPortOpen());
        QVERIFY(!lost.at(0).isEmpty());
        QCOMPARE(end.Start(), strDevice);
        QTRY_COMPARE_WITH_TIMEOUT(nBack, 1, 15000);
        QByteArray reply;
        QVERIFY(link.Query("S01;ADR?;", reply, 4, 1500));
        QCOMPARE(reply, QByteArray("01\r\n"));
        QCOMPARE(lost.count(), 1);
    }

    void tcpOpenFailures_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        // A port that was free a moment ago: nobody listens there.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 nFree = server.serverPort();
        server.close();
        QTest::newRow("refused") << QStringLiteral("tcp://127.0.0.1:%1").arg(nFree)
                                 << int(ECONNREFUSED) << QStringLiteral("refused");
        QTest::newRow("no port") << QStringLiteral("tcp://127.0.0.1") << int(EINVAL)
                                 << QStringLiteral("not tcp://HOST:PORT");
        QTest::newRow("path") << QStringLiteral("tcp://127.0.0.1:4001/x") << int(EINVAL)
                              << QStringLiteral("not tcp://HOST:PORT");
    }
    void tcpOpenFailures()
    {
        QFETCH(QString, device);
        QFETCH(int, error);
        QFETCH(QString, reason);
        CBusLink link;
        QVERIFY(!OpenOn(link, device));
        QCOMPARE(link.LastOpenError(), error);
        const QString strText = link.LastOpenFailure().Text();
        QVERIFY2(strText.startsWith(device + QStringLiteral(": cannot open: ")),
                 qPrintable(strText));
        QVERIFY2(strText.contains(reason, Qt::CaseInsensitive), qPrintable(strText));
    }
};

QTEST_GUILESS_MAIN(TransportTest)
#include "TransportTest.moc"
