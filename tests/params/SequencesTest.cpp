#include "TestPageContext.h"

#include "params/AddressChangeSequence.h"
#include "params/BusScanSequence.h"
#include "params/ParamSaveSequence.h"
#include "params/ParamSetReadSequence.h"
#include "params/TareSequence.h"

#include <QMap>
#include <QTest>

#include <functional>
#include <mutex>
#include <thread>

namespace {

// Everything a sequence reports, with an optional hook on each call.
class CRecordingSink : public CSequenceSink
{
public:
    void SetCellText(int nAddress, const QString& strText) override
    {
        Note(QStringLiteral("cell %1 %2").arg(nAddress).arg(strText));
        std::lock_guard lock(m_mutex);
        m_mapCells[nAddress] = strText;
    }
    void ShowProgress(const QString& strText) override { Note(QStringLiteral("show ") + strText); }
    void ClearProgress() override { Note(QStringLiteral("clear")); }
    void OnValue(const char* psz, qint32 n) override
    {
        Note(QStringLiteral("%1=%2").arg(QLatin1String(psz)).arg(n));
    }
    void OnUnsupported(const char* psz) override { Note(QStringLiteral("lacks ") + psz); }
    void OnIdentification(const QByteArray& text) override
    {
        Note(QStringLiteral("IDN=") + QString::fromLatin1(text));
    }
    void OnAcknowledged(const char* psz) override { Note(QStringLiteral("ack ") + psz); }
    void OnNotAcknowledged(const char* psz) override { Note(QStringLiteral("nak ") + psz); }
    void OnAddressFound(int n) override { Note(QStringLiteral("found %1").arg(n)); }

    QStringList Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrEvents;
    }
    QString Cell(int n) const
    {
        std::lock_guard lock(m_mutex);
        return m_mapCells.value(n);
    }

    std::function<void(const QString&)> m_hook;

private:
    void Note(const QString& strEvent)
    {
        {
            std::lock_guard lock(m_mutex);
            m_arrEvents.append(strEvent);
        }
        if (m_hook)
            m_hook(strEvent);
    }

    mutable std::mutex m_mutex;
    QStringList m_arrEvents;
    QMap<int, QString> m_mapCells;
};

// Transactions belong to worker threads.
void OffUiThread(const std::function<void()>& work)
{
    std::thread worker(work);
    worker.join();
}

SimOptions Modules(const QList<int>& arrAddresses)
{
    SimOptions options;
    options.m_arrAddresses = arrAddresses;
    return options;
}

QList<QByteArray> Frames(CTestPageContext& context)
{
    return context.Simulator().Bus().FrameLog();
}

} // namespace

// The module sequences on the simulator, judged by the frames on the wire.
class SequencesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readSendsTwentyTwoFramesAndFillsTheRecord()
    {
        CTestPageContext context(Modules({3}));
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        ModuleParamRecord record;
        CParamSetReadSequence::Result result;
        context.BusLink().m_bChecksum = 1;
        OffUiThread(
            [&] { result = CParamSetReadSequence(context.BusLink(), sink).Run(3, record); });
        QVERIFY(result.m_bComplete);
        QVERIFY(result.m_failedMnemonic.isEmpty());

        const QList<QByteArray> frames = Frames(context);
        QCOMPARE(frames.size(), 22);
        QCOMPARE(frames[0], QByteArray("S03;COF8;"));
        QCOMPARE(frames[1], QByteArray("S03;SPW\"NiLOx\";"));
        QCOMPARE(frames[2], QByteArray("S03;FMD?;"));
        QCOMPARE(frames[20], QByteArray("S03;RLN?;"));
        QCOMPARE(frames[21], QByteArray("S03;IDN?;"));

        CSimModule::Params current, stored;
        bool bUnlocked = false, bNet = false;
        QVERIFY(context.Simulator().Bus().Snapshot(3, current, stored, bUnlocked, bNet));
        QCOMPARE(record.m_nAsf, current.m_nAsf);
        QCOMPARE(record.m_nAdi, current.m_nAdi);
        QCOMPARE(record.m_nCoc, current.m_nCoc);
        QCOMPARE(record.m_nIcr, current.m_nIcr);
        QCOMPARE(record.m_nLdw, current.m_nLdw);
        QCOMPARE(record.m_nLwt, current.m_nLwt);
        QCOMPARE(record.m_nNov, current.m_nNov);
        QCOMPARE(record.m_nGan, current.m_nGan);
        QCOMPARE(record.m_nZts, current.m_nZts);
        QCOMPARE(record.m_strIdentification,
                 "ADM," + current.m_strModel + "," + current.m_strSerial + ",1.0\r\n");
        // The checksum word follows the module's CSM.
        QCOMPARE(context.BusLink().m_bChecksum.load(), current.m_nCsm);

        const QStringList events = sink.Events();
        QCOMPARE(events.first(), QStringLiteral("cell 3 ADR 3?"));
        QCOMPARE(events[1], QStringLiteral("show 参数读取中..."));
        QCOMPARE(events.last(), QStringLiteral("cell 3 ADR 3 OK"));
        QVERIFY(events.contains(QStringLiteral("ADI=%1").arg(current.m_nAdi)));
    }

    void readEndsOnAMissingOrDigitlessReply()
    {
        // No module: FMD fails (the page then shows "Time Out").
        CTestPageContext context(Modules({5}));
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        ModuleParamRecord record;
        record.m_nAdi = 77;
        CParamSetReadSequence::Result result;
        OffUiThread(
            [&] { result = CParamSetReadSequence(context.BusLink(), sink).Run(4, record); });
        QVERIFY(!result.m_bComplete);
        QCOMPARE(result.m_failedMnemonic, QByteArray("FMD"));
        QCOMPARE(sink.Cell(4), QStringLiteral("ADR 4"));
        QCOMPARE(sink.Events().last(), QStringLiteral("clear"));
        QCOMPARE(record.m_nAdi, 77);

        // The module falls silent after ASF: ADI fails, FMD and ASF are kept.
        context.Simulator().Bus().ClearFrameLog();
        sink.m_hook = [&](const QString& strEvent) {
            if (strEvent.startsWith(QLatin1String("ASF="))) {
                SimFaults faults;
                faults.m_nDropEvery = 1;
                context.Simulator().SetFaults(faults);
            }
        };
        OffUiThread(
            [&] { result = CParamSetReadSequence(context.BusLink(), sink).Run(5, record); });
        QCOMPARE(result.m_failedMnemonic, QByteArray("ADI"));
        QCOMPARE(record.m_nAdi, 77);
        QCOMPARE(record.m_nAsf, 2);
        QCOMPARE(Frames(context).last(), QByteArray("S05;ADI?;"));

        // Back again: the next read completes.
        sink.m_hook = nullptr;
        context.Simulator().SetFaults(SimFaults());
        OffUiThread(
            [&] { result = CParamSetReadSequence(context.BusLink(), sink).Run(5, record); });
        QVERIFY(result.m_bComplete);
        QCOMPARE(sink.Cell(5), QStringLiteral("ADR 5 OK"));

        // A reply without a digit is no value: nothing stored as 0.
        QVERIFY(CParamSetReadSequence::HasNumber("+0000012\r\n"));
        QVERIFY(CParamSetReadSequence::HasNumber(" -3\r\n"));
        QVERIFY(!CParamSetReadSequence::HasNumber("?\r\n"));
        QVERIFY(!CParamSetReadSequence::HasNumber("-\r\n"));
        QVERIFY(!CParamSetReadSequence::HasNumber("\r\n"));
    }

    void readWithoutZeroTrackingSpeedOrZeroLoadAndStopped()
    {
        SimOptions options = Modules({2});
        options.m_faults.m_bZtsUnsupported = true;
        options.m_faults.m_arrUnknownQueries = {"LDW"};
        CTestPageContext context(options);
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        ModuleParamRecord record;
        record.m_nZts = 6;
        record.m_nLdw = 5;
        CParamSetReadSequence::Result result;
        OffUiThread(
            [&] { result = CParamSetReadSequence(context.BusLink(), sink).Run(2, record); });
        QVERIFY(result.m_bComplete);
        QCOMPARE(record.m_nZts, 6);
        QVERIFY(sink.Events().contains(QStringLiteral("lacks ZTS")));
        // Any other query lacking its parameter reads 0.
        QCOMPARE(record.m_nLdw, 0);
        QVERIFY(sink.Events().contains(QStringLiteral("LDW=0")));

        // Stopped after COC: no further frame, the cell keeps its "?".
        context.Simulator().Bus().ClearFrameLog();
        std::atomic<bool> bStop{false};
        sink.m_hook = [&](const QString& strEvent) {
            if (strEvent.startsWith(QLatin1String("COC=")))
                bStop = true;
        };
        OffUiThread([&] {
            result = CParamSetReadSequence(context.BusLink(), sink).Run(2, record, [&] {
                return bStop.load();
            });
        });
        QVERIFY(result.m_bStopped);
        QCOMPARE(Frames(context).size(), 2 + 4);
        QCOMPARE(sink.Cell(2), QStringLiteral("ADR 2?"));
    }

    void saveSendsSixteenFramesAndNamesTheRefusedOnes()
    {
        SimOptions options = Modules({7});
        options.m_faults.m_bZtsUnsupported = true;
        CTestPageContext context(options);
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        ModuleParamRecord record;
        record.m_nFmd = 1;
        record.m_nAsf = 3;
        record.m_nAdi = 250;
        record.m_nCoc = 12;
        record.m_nCof = 8;
        record.m_nTav = -500;
        record.m_nIcr = 96;
        record.m_nCsm = 1;
        record.m_nGan = 5;
        record.m_strIdentification = "ADM,NewModel,SN77,1.0\r\n";
        CParamSaveSequence::Result result;
        OffUiThread([&] {
            context.BusLink().Command("S07;SPW\"NiLOx\";", 500);
            context.Simulator().Bus().ClearFrameLog();
            result = CParamSaveSequence(context.BusLink(), sink).Run(7, record);
        });
        // ZTS is refused (twice: the retry), and every other step still goes out.
        QCOMPARE(result.m_arrNotAcknowledged, QStringList{QStringLiteral("ZTS")});
        const QList<QByteArray> expected = {"S07;FMD1;",
                                            "S07;ASF3;",
                                            "S07;ADI250;",
                                            "S07;COC12;",
                                            "S07;COF8;",
                                            "S07;TAV-500;",
                                            "S07;ICR96;",
                                            "S07;ZTR0;",
                                            "S07;ZTS1;",
                                            "S07;ZTS1;",
                                            "S07;ZSE0;",
                                            "S07;STR0;",
                                            "S07;CSM1;",
                                            "S07;CHP0;",
                                            "S07;SPW\"WaRkuTE\";GAN5;",
                                            "S07;IDN\"NewModel\",\"SN77\";",
                                            "S07;TDD1;"};
        QCOMPARE(Frames(context), expected);
        QCOMPARE(context.BusLink().m_bChecksum.load(), 1);
        const QStringList events = sink.Events();
        QCOMPARE(events.first(), QStringLiteral("show 参数保存中..."));
        QVERIFY(events.contains(QStringLiteral("show 保存TDD1...")));
        QVERIFY(!events.contains(QStringLiteral("show 保存ZTS...")));
        QCOMPARE(events.last(), QStringLiteral("clear"));

        CSimModule::Params current, stored;
        bool bUnlocked = false, bNet = false;
        QVERIFY(context.Simulator().Bus().Snapshot(7, current, stored, bUnlocked, bNet));
        QCOMPARE(stored.m_nIcr, 96);
        QCOMPARE(stored.m_nTav, -500);
        QCOMPARE(stored.m_strModel.trimmed(), QByteArray("NewModel"));

        // A locked module refuses everything but COF, CSM and the gain frame.
        context.Simulator().PowerCycle();
        OffUiThread([&] { result = CParamSaveSequence(context.BusLink(), sink).Run(7, record); });
        QVERIFY(result.m_arrNotAcknowledged.contains(QStringLiteral("TDD1")));
        QVERIFY(!result.m_arrNotAcknowledged.contains(QStringLiteral("COF")));
    }

    void saveSkipsAnIdentificationItCannotSplitSafely()
    {
        QByteArray field2, field3;
        using Id = CParamSaveSequence::Identification;
        QCOMPARE(CParamSaveSequence::SplitIdentification("ADM,a,b", field2, field3),
                 Id::NotThreeCommas);
        QCOMPARE(CParamSaveSequence::SplitIdentification("", field2, field3), Id::NotThreeCommas);
        QCOMPARE(CParamSaveSequence::SplitIdentification("A,x\";TDD1;,b,c", field2, field3),
                 Id::BadField);
        QCOMPARE(CParamSaveSequence::SplitIdentification("A,x,12345678,c", field2, field3),
                 Id::BadField);
        QCOMPARE(CParamSaveSequence::SplitIdentification("A,,,", field2, field3), Id::Ok);
        QCOMPARE(
            CParamSaveSequence::SplitIdentification("A,123456789012345,1234567,c", field2, field3),
            Id::Ok);
        QCOMPARE(field2, QByteArray("123456789012345"));
        QCOMPARE(field3, QByteArray("1234567"));

        CTestPageContext context(Modules({1}));
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        ModuleParamRecord record; // never read: no identification
        CParamSaveSequence::Result result;
        OffUiThread([&] {
            context.BusLink().Command("S01;SPW\"NiLOx\";", 500);
            context.Simulator().Bus().ClearFrameLog();
            result =
                CParamSaveSequence(context.BusLink(), sink).Run(1, record, {"ADI", "IDN", "TDD1"});
        });
        QVERIFY(result.m_bIdentificationSkipped);
        QCOMPARE(Frames(context), (QList<QByteArray>{"S01;ADI0;", "S01;TDD1;"}));
    }

    void scanFindsMarksAndStops()
    {
        CTestPageContext context(Modules({3, 9, 17}));
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        CBusScanSequence::Result result;
        OffUiThread([&] { result = CBusScanSequence(context.BusLink(), sink).Run(); });
        QCOMPARE(result.m_arrFound, (QList<int>{3, 9, 17}));
        QVERIFY(!result.m_bCut);
        for (int i = 0; i < 32; ++i)
            QCOMPARE(sink.Cell(i),
                     QString::fromLatin1(i == 3 || i == 9 || i == 17 ? "ADR %1 OK" : "ADR %1 --")
                         .arg(i));
        QVERIFY(sink.Events().contains(QStringLiteral("cell 0  ADR 0 ?")));
        // Silent addresses are asked twice, present ones once.
        QCOMPARE(Frames(context).size(), 29 * 2 + 3);

        // "停止扫描" while 9 is asked: 9 ends "--" but stays found, 10 on untouched.
        CRecordingSink stopSink;
        std::atomic<int> bContinue{1};
        stopSink.m_hook = [&](const QString& strEvent) {
            if (strEvent == QLatin1String("cell 9  ADR 9 ?"))
                bContinue = 0;
        };
        OffUiThread(
            [&] { result = CBusScanSequence(context.BusLink(), stopSink).Run(31, &bContinue); });
        QCOMPARE(result.m_arrFound, (QList<int>{3, 9}));
        QVERIFY(result.m_bCut);
        QCOMPARE(stopSink.Cell(9), QStringLiteral("ADR 9 --"));
        QCOMPARE(stopSink.Cell(10), QString());
        QCOMPARE(bContinue.load(), 1);
    }

    void emptyBusAndShutdownStop()
    {
        CTestPageContext context(Modules({30}));
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        CBusScanSequence::Result result;
        OffUiThread([&] { result = CBusScanSequence(context.BusLink(), sink).Run(5); });
        QVERIFY(result.m_arrFound.isEmpty());
        QCOMPARE(sink.Events().last(), QStringLiteral("show 没有发现Vemo模块..."));

        context.Simulator().Bus().ClearFrameLog();
        OffUiThread([&] {
            int nAsked = 0;
            result = CBusScanSequence(context.BusLink(), sink).Run(31, nullptr, [&] {
                return ++nAsked > 2;
            });
        });
        QVERIFY(result.m_bCut);
        QCOMPARE(Frames(context).size(), 2 * 2);
    }

    void addressChangeBesideAnotherModule()
    {
        CTestPageContext context(Modules({3, 5}));
        QVERIFY(context.OpenBusPort());
        CRecordingSink sink;
        CAddressChangeSequence::Result change;
        CBusScanSequence::Result scan;
        OffUiThread([&] {
            change = CAddressChangeSequence(context.BusLink(), sink).Run(3, 20, true);
            scan = CBusScanSequence(context.BusLink(), sink).Run();
        });
        QCOMPARE(change.m_outcome, CAddressChangeSequence::Outcome::Changed);
        QVERIFY(change.m_bUnlockAcknowledged);
        QVERIFY(change.m_bStoreAcknowledged);
        const QList<QByteArray> frames = Frames(context);
        QCOMPARE(frames.mid(0, 5), (QList<QByteArray>{"S20;ADR?;", "S20;ADR?;", "S03;SPW\"NiLOx\";",
                                                      "S03;adr20;", "S20;TDD1;"}));
        QCOMPARE(scan.m_arrFound, (QList<int>{5, 20}));

        // Onto an address in use: refused before anything reaches the old module.
        context.Simulator().Bus().ClearFrameLog();
        OffUiThread(
            [&] { change = CAddressChangeSequence(context.BusLink(), sink).Run(20, 5, true); });
        QCOMPARE(change.m_outcome, CAddressChangeSequence::Outcome::InUse);
        QCOMPARE(Frames(context), QList<QByteArray>{"S05;ADR?;"});

        // Onto its own address: no question, adr and TDD1 as for any other.
        context.Simulator().Bus().ClearFrameLog();
        OffUiThread(
            [&] { change = CAddressChangeSequence(context.BusLink(), sink).Run(5, 5, true); });
        QCOMPARE(change.m_outcome, CAddressChangeSequence::Outcome::Changed);
        QCOMPARE(Frames(context),
                 (QList<QByteArray>{"S05;SPW\"NiLOx\";", "S05;adr05;", "S05;TDD1;"}));

        // A module that is not there does not acknowledge: no TDD1.
        context.Simulator().Bus().ClearFrameLog();
        OffUiThread(
            [&] { change = CAddressChangeSequence(context.BusLink(), sink).Run(9, 10, false); });
        QCOMPARE(change.m_outcome, CAddressChangeSequence::Outcome::NotAcknowledged);
        QVERIFY(!Frames(context).contains("S10;TDD1;"));
    }

    void tareReadsBackTheTare()
    {
        SimOptions options = Modules({1});
        options.m_nNoise = 0;
        options.m_nLoadSwing = 0;
        CTestPageContext context(options);
        QVERIFY(context.OpenBusPort());
        context.Simulator().Bus().SetExtraLoad(1, 400000);
        CTareSequence::Result result;
        OffUiThread([&] { result = CTareSequence(context.BusLink()).Run(1); });
        QVERIFY(result.m_bAcknowledged);
        QVERIFY(result.m_bHasTare);
        CSimModule::Params current, stored;
        bool bUnlocked = false, bNet = false;
        QVERIFY(context.Simulator().Bus().Snapshot(1, current, stored, bUnlocked, bNet));
        QCOMPARE(result.m_nTare, current.m_nTav);
        QVERIFY(result.m_nTare != 0);
        QCOMPARE(Frames(context), (QList<QByteArray>{"S01;TAR;", "S01;TAV?;"}));
    }
};

QTEST_GUILESS_MAIN(SequencesTest)
#include "SequencesTest.moc"
