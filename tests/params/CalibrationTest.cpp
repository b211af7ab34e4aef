#include "TestPageContext.h"

#include "module/ModuleCommand.h"
#include "params/CalibrateSequence.h"
#include "params/CalibrationChecks.h"
#include "params/CaptureSequence.h"
#include "params/LineariseSequence.h"

#include <QTest>

#include <functional>
#include <limits>
#include <mutex>
#include <thread>

namespace {

using Refusal = CCalibrationChecks::Refusal;
using Outcome = CModuleWrite::Outcome;

// The progress a sequence shows, as the display would change.
class CProgressSink : public CSequenceSink
{
public:
    void ShowProgress(const QString& strText) override { Note(strText); }
    void ClearProgress() override { Note(QString()); }
    QStringList Texts() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrTexts;
    }

private:
    void Note(const QString& strText)
    {
        std::lock_guard lock(m_mutex);
        m_arrTexts.append(strText);
    }
    mutable std::mutex m_mutex;
    QStringList m_arrTexts;
};

void OffUiThread(const std::function<void()>& work)
{
    std::thread(work).join();
}

// A fixed, noiseless signal on module 1, unlocked for writes.
struct CRig
{
    explicit CRig(const SimFaults& faults = SimFaults())
    {
        QVERIFY(context.OpenBusPort());
        context.Simulator().SetFaults(faults);
        QVERIFY(Bus().SetRaw(1, 200000));
        OffUiThread([this] {
            const ModuleRequest unlock = CModuleCommand::Unlock(1, 500);
            context.BusLink().Command(unlock.m_text, unlock.m_nTimeoutMs);
        });
        Bus().ClearFrameLog();
    }
    CSimBus& Bus() { return context.Simulator().Bus(); }
    CSimModule::Params Module(bool bStored = false)
    {
        CSimModule::Params current, stored;
        bool bUnlocked = false, bNet = false;
        Bus().Snapshot(1, current, stored, bUnlocked, bNet);
        return bStored ? stored : current;
    }
    QByteArray Log() { return Bus().FrameLog().join(' '); }

    CTestPageContext context{[] {
        SimOptions options;
        options.m_arrAddresses = {1};
        return options;
    }()};
};

} // namespace

// Calibration and linearisation: the checks, and the sequences on the pty
// simulator judged by its frame log and model.
class CalibrationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checks_data()
    {
        QTest::addColumn<QString>("strLdw");
        QTest::addColumn<QString>("strLwt");
        QTest::addColumn<QString>("strNov");
        QTest::addColumn<int>("nPoints");  // Refusal of CheckPoints
        QTest::addColumn<int>("nNominal"); // Refusal of CheckNominal
        auto row = [](const char* pszName, const char* ldw, const char* lwt, const char* nov,
                      Refusal points, Refusal nominal) {
            QTest::newRow(pszName) << ldw << lwt << nov << int(points) << int(nominal);
        };
        row("equal points", "1000", "1000", "0", Refusal::LwtNotAboveLdw, Refusal::None);
        row("LWT below", "1000", "999", "1", Refusal::LwtNotAboveLdw, Refusal::None);
        row("NOV at the span", "-500", "200", "700", Refusal::None, Refusal::None);
        row("NOV over the span", "-500", "200", "701", Refusal::None, Refusal::NominalTooLarge);
        row("negative NOV", "-500", "200", "-700", Refusal::None, Refusal::None);
        row("empty NOV", "-500", "200", "", Refusal::None, Refusal::None);
        row("empty LDW first", "", "", "", Refusal::LdwEmpty, Refusal::None);
        row("empty LWT", "5", " ", "", Refusal::LwtEmpty, Refusal::None);
        // 2^32 - 1 apart: 32-bit arithmetic would overflow.
        row("extremes", "-2147483648", "2147483647", "2147483647", Refusal::None, Refusal::None);
        row("|-2^31| NOV", "0", "2147483647", "-2147483648", Refusal::None,
            Refusal::NominalTooLarge);
    }
    void checks()
    {
        QFETCH(QString, strLdw);
        QFETCH(QString, strLwt);
        QFETCH(QString, strNov);
        QFETCH(int, nPoints);
        QFETCH(int, nNominal);
        std::optional<qint32> nLdw, nLwt, nNov;
        QVERIFY(CCalibrationChecks::ParseField(strLdw, nLdw));
        QVERIFY(CCalibrationChecks::ParseField(strLwt, nLwt));
        QVERIFY(CCalibrationChecks::ParseField(strNov, nNov));
        QCOMPARE(int(CCalibrationChecks::CheckPoints(nLdw, nLwt)), nPoints);
        QCOMPARE(int(CCalibrationChecks::CheckNominal(nLdw.value_or(0), nLwt.value_or(0),
                                                      nNov.value_or(0))),
                 nNominal);
    }

    void fieldsTextsAndVisibility()
    {
        std::optional<qint32> nValue = 7;
        for (const char* pszBad : {"12a", "1,000", "99999999999", "-", "1 2"})
            QVERIFY2(!CCalibrationChecks::ParseField(QString::fromLatin1(pszBad), nValue), pszBad);
        QVERIFY(CCalibrationChecks::ParseField(QStringLiteral(" -1234 "), nValue));
        QCOMPARE(nValue, std::optional<qint32>(-1234));
        QCOMPARE(CCalibrationChecks::Text(Refusal::LdwEmpty), QStringLiteral("LDW不能为空!"));
        QCOMPARE(CCalibrationChecks::Text(Refusal::LwtEmpty), QStringLiteral("LWT不能为空!"));
        QCOMPARE(CCalibrationChecks::Text(Refusal::LwtNotAboveLdw),
                 QStringLiteral("LWT不能小于LDW!"));
        QCOMPARE(CCalibrationChecks::Text(Refusal::NominalTooLarge),
                 QStringLiteral("NOV不能大于|LWT-LDW|!"));
        QString strShown;
        for (int nRln = 4; nRln <= 8; ++nRln)
            for (int k = 0; k < 8; ++k)
                strShown += CCalibrationChecks::IsPointVisible(k, nRln) ? '1' : '0';
        QCOMPARE(strShown, QStringLiteral("1111000011111000111111001111111011111111"));
    }

    void captureTakesTheRawSignalOrStops()
    {
        SimFaults slow;
        slow.m_nCaptureDelayMs = 1700; // past the first attempt's 1500 ms
        for (const SimFaults& faults : {SimFaults(), slow}) {
            CRig rig(faults);
            CCaptureSequence::Result result;
            OffUiThread([&] { result = CCaptureSequence(rig.context.BusLink()).Run(1, false); });
            QCOMPARE(result.m_outcome, CCaptureSequence::Outcome::Captured);
            QCOMPARE(result.m_nValue, 200000);
            QCOMPARE(rig.Module().m_nLdw, 200000);
            QVERIFY(rig.Log().endsWith("S01;LDW?;"));
            QCOMPARE(rig.Bus().FrameLog().count("S01;LDW;"), faults.m_nCaptureDelayMs ? 2 : 1);
        }

        // No module there: no read-back. Locked: refused, no second attempt.
        CRig rig;
        CCaptureSequence::Result result;
        OffUiThread([&] { result = CCaptureSequence(rig.context.BusLink()).Run(4, true); });
        QCOMPARE(result.m_outcome, CCaptureSequence::Outcome::NoReply);
        QVERIFY(!rig.Log().contains("LWT?"));
        rig.Bus().PowerCycle();
        rig.Bus().ClearFrameLog();
        OffUiThread([&] { result = CCaptureSequence(rig.context.BusLink()).Run(1, true); });
        QCOMPARE(result.m_outcome, CCaptureSequence::Outcome::Refused);
        QCOMPARE(rig.Log(), QByteArray("S01;LWT;"));
    }

    void writtenCalibrationIsStoredAndScales()
    {
        CRig rig;
        CProgressSink sink;
        CModuleWrite::Result result;
        OffUiThread([&] {
            result = CCalibrateSequence(rig.context.BusLink(), sink)
                         .WritePoints(1, 200000, 700000, 50000);
        });
        QVERIFY(result.Succeeded());
        QCOMPARE(sink.Texts(),
                 QStringList({"写入LDW...", "写入LWT...", "", "写入NOV...", "写入TDD1...", ""}));
        QCOMPARE(rig.Log(), QByteArray("S01;LDW200000; S01;LWT700000; S01;NOV50000; S01;TDD1;"));

        rig.Bus().PowerCycle();
        QCOMPARE(rig.Module().m_nLwt, 700000);
        QCOMPARE(rig.Module().m_nNov, 50000);
        for (const auto& [nRaw, nExpected] : {std::pair{700000, 50000}, std::pair{200000, 0}}) {
            QVERIFY(rig.Bus().SetRaw(1, nRaw));
            qint32 nValue = -1;
            OffUiThread([&] { rig.context.BusLink().ReadMeasuredValue(1, nValue, 6, 500); });
            QCOMPARE(nValue, nExpected);
        }
    }

    void refusedWriteKeepsTheStoredCalibration()
    {
        SimFaults faults;
        faults.m_arrRefusedWrites = {"LWT"};
        CRig rig(faults);
        const CSimModule::Params before = rig.Module(true);
        CProgressSink sink;
        CModuleWrite::Result result;
        OffUiThread([&] {
            result = CCalibrateSequence(rig.context.BusLink(), sink).WritePoints(1, 1, 2, 1);
        });
        QCOMPARE(result.m_arrFailed.size(), 1);
        QCOMPARE(result.m_arrFailed[0].m_name, QByteArray("LWT"));
        QCOMPARE(result.m_arrFailed[0].m_outcome, Outcome::Refused);
        QCOMPARE(result.FailureText(), QStringLiteral("写入失败: LWT"));
        QVERIFY(!rig.Log().contains("NOV") && !rig.Log().contains("TDD1"));
        rig.Bus().PowerCycle();
        QCOMPARE(rig.Module(), before);
        OffUiThread([&] {
            const ModuleRequest unlock = CModuleCommand::Unlock(1, 500);
            rig.context.BusLink().Command(unlock.m_text, unlock.m_nTimeoutMs);
        });

        // A refused NOV still stores the points.
        faults.m_arrRefusedWrites = {"NOV"};
        rig.context.Simulator().SetFaults(faults);
        OffUiThread(
            [&] { result = CCalibrateSequence(rig.context.BusLink(), sink).WriteNominal(1, 5); });
        QCOMPARE(result.FailureText(), QStringLiteral("写入失败: NOV"));
        QVERIFY(rig.Log().endsWith("S01;TDD1;"));
    }

    void linearisationReachesTheModel()
    {
        CRig rig;
        CProgressSink sink;
        QList<CModuleWrite::Result> results;
        OffUiThread([&] {
            CLineariseSequence sequence(rig.context.BusLink(), sink);
            results = {sequence.WriteCount(1, 6), sequence.WritePoint(1, 2, -1234),
                       sequence.WriteEnable(1, 1), sequence.WriteCount(1, 9),
                       sequence.WritePoint(1, 8, 5)};
        });
        QCOMPARE(rig.Log(), QByteArray("S01;RLN6; S01;RLC2,-1234; S01;RLE1; S01;RLN9; S01;RLN9;"));
        QVERIFY(results[0].Succeeded() && results[1].Succeeded() && results[2].Succeeded());
        QCOMPARE(results[3].m_arrFailed.value(0).m_outcome, Outcome::Refused);
        QCOMPARE(results[4].m_arrFailed.value(0).m_name, QByteArray("RLC"));
        QCOMPARE(sink.Texts(), QStringList({"写入RLN...", "", "写入RLE...", "", ""}));
        const CSimModule::Params module = rig.Module();
        QCOMPARE(module.m_nRln, 6);
        QCOMPARE(module.m_arrRlc[2], -1234);
        QCOMPARE(module.m_nRle, 1);
        QCOMPARE(rig.Module(true).m_nRln, 4); // no store
    }
};

QTEST_GUILESS_MAIN(CalibrationTest)
#include "CalibrationTest.moc"
