#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "module/ParameterReadSequence.h"
#include "module/ValueTables.h"

#include <QTest>

using List = CValueTables::List;

class ModuleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frames()
    {
        QCOMPARE(CModuleCommand::Set(7, "FMD", 1).m_text, QByteArray("S07;FMD1;"));
        QCOMPARE(CModuleCommand::NewAddress(12, 3).m_text, QByteArray("S12;adr03;"));
        QCOMPARE(CModuleCommand::Store(3, 500).m_text, QByteArray("S03;TDD1;"));
        QCOMPARE(CModuleCommand::Set(1, "ICR", CValueTables::ArgumentAt(List::OutputRate, 11)).m_text,
                 QByteArray("S01;ICR96;"));
        QCOMPARE(CModuleCommand::Set(31, "TAV", -250).m_text, QByteArray("S31;TAV-250;"));
        QCOMPARE(CModuleCommand::Gain(2, 5).m_text, QByteArray("S02;SPW\"WaRkuTE\";GAN5;"));
        QCOMPARE(CModuleCommand::Unlock(0, 500).m_text, QByteArray("S00;SPW\"NiLOx\";"));
        QCOMPARE(CModuleCommand::WriteIdentification(4, "LOADCELL", "0012345").m_text,
                 QByteArray("S04;IDN\"LOADCELL\",\"0012345\";"));
        QCOMPARE(CModuleCommand::LinearPoint(9, 7, -12).m_text, QByteArray("S09;RLC7,-12;"));
        QCOMPARE(CModuleCommand::SelectNet(5, true).m_text, QByteArray("S05;TAS1;"));
        QCOMPARE(CModuleCommand::SelectNet(5, false).m_text, QByteArray("S05;TAS0;"));
        QCOMPARE(CModuleCommand::RawAddressQuery(8), QByteArray("S08;adr?;"));
        QCOMPARE(CModuleCommand::Frame(100, "ADR?"), QByteArray("S100;ADR?;"));
        QCOMPARE(CModuleCommand::Frame(-3, "ADR?"), QByteArray("S-03;ADR?;"));
    }

    void lengthsAndTimeouts()
    {
        const ModuleRequest scan = CModuleCommand::AddressQuery(5);
        QCOMPARE(scan.m_text, QByteArray("S05;ADR?;"));
        QCOMPARE(scan.m_nReplyLen, 3);
        QCOMPARE(scan.m_nTimeoutMs, 100);
        const ModuleRequest msv = CModuleCommand::MeasuredValue(5);
        QCOMPARE(msv.m_nReplyLen, 6);
        QCOMPARE(msv.m_nTimeoutMs, 500);
        QCOMPARE(CModuleCommand::CaptureZero(5).m_text, QByteArray("S05;LDW;"));
        QCOMPARE(CModuleCommand::CaptureZero(5).m_nReplyLen, 10);
        QCOMPARE(CModuleCommand::Set(5, "LDW", 12).m_nTimeoutMs, 500);
        QCOMPARE(CModuleCommand::Set(5, "FMD", 1).m_nTimeoutMs, 1500);
        QCOMPARE(CModuleCommand::Tare(5).m_nTimeoutMs, 500);
    }

    void readSequence()
    {
        QStringList order;
        for (const auto& step : CParameterReadSequence::Steps()) {
            order << QString::fromLatin1(step.m_pszMnemonic);
            QCOMPARE(step.m_nTimeoutMs, 1500);
            const QByteArray mnemonic(step.m_pszMnemonic);
            const int nExpected = mnemonic == "IDN"   ? 33
                                  : mnemonic == "NOV" ? 9
                                  : (mnemonic == "TAV" || mnemonic == "LDW" || mnemonic == "LWT") ? 10
                                                                                                  : 3;
            QCOMPARE(step.m_nReplyLen, nExpected);
            QCOMPARE(CModuleCommand::Query(3, step.m_pszMnemonic).m_text, "S03;" + mnemonic + "?;");
        }
        QCOMPARE(order.join(' '), QStringLiteral("FMD ASF ADI COC COF TAV ICR ZTR ZTS ZSE STR CSM LDW "
                                                 "LWT NOV CHP GAN RLE RLN IDN"));
    }

    void atoi_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << QByteArray("480\r\n") << 480;
        QTest::newRow("padded signed") << QByteArray("+0012345\r\n") << 12345;
        QTest::newRow("negative, white space") << QByteArray(" \t-12\r\n") << -12;
        QTest::newRow("digits then text") << QByteArray("7abc") << 7;
        QTest::newRow("no digits") << QByteArray("abc\r\n") << 0;
        QTest::newRow("refusal") << QByteArray("?\r\n") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("lone sign") << QByteArray("-\r\n") << 0;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << INT_MAX;
        QTest::newRow("huge negative") << QByteArray("-99999999999999999999") << INT_MIN;
        QTest::newRow("int min") << QByteArray("-2147483648") << INT_MIN;
    }
    void atoi()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, value);
        QCOMPARE(CModuleReply::Atoi(reply), value);
    }

    void addressEcho()
    {
        QVERIFY(CModuleReply::IsAddressEcho("05\r\n", 5));
        QVERIFY(CModuleReply::IsAddressEcho("17\r\n", 17));
        QVERIFY(!CModuleReply::IsAddressEcho("5\r\n", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("05\r\n05\r\n", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("06\r\n", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("05", 5));
        QVERIFY(CModuleReply::IsUnsupported("?\r\n"));
        QVERIFY(!CModuleReply::IsUnsupported("?\r\n1"));
        QVERIFY(!CModuleReply::IsUnsupported("3\r\n"));
    }

    void identification()
    {
        const QByteArray reply = "ADM,LOADCELL-TX-200,0012345,1.0\r\n";
        QCOMPARE(reply.size(), 33);
        const QList<QByteArray> fields = CModuleReply::IdentificationFields(reply);
        QCOMPARE(fields, (QList<QByteArray>{"ADM", "LOADCELL-TX-200", "0012345", "1.0"}));
        QByteArray field2, field3;
        QVERIFY(CModuleReply::SplitForWrite(reply, field2, field3));
        QCOMPARE(CModuleCommand::WriteIdentification(1, field2, field3).m_text,
                 QByteArray("S01;IDN\"LOADCELL-TX-200\",\"0012345\";"));

        // Short replies give short fields, never a read past the end.
        QCOMPARE(CModuleReply::IdentificationFields("ADM,LOAD"),
                 (QList<QByteArray>{"ADM", "LOAD", "", ""}));
        QCOMPARE(CModuleReply::IdentificationFields(""), (QList<QByteArray>{"", "", "", ""}));
        // Overlong: positions count, the kept text is bounded.
        const QByteArray longReply = reply.left(31) + QByteArray(400, 'z');
        QCOMPARE(CModuleReply::IdentificationFields(longReply).value(3), QByteArray("1.0"));
        QCOMPARE(CModuleReply::IdentificationText(longReply).size(), CModuleReply::kMaxIdentificationLen);
    }

    void identificationWriteBackWithoutThreeCommas()
    {
        QByteArray field2 = "keep", field3 = "keep";
        QVERIFY(!CModuleReply::SplitForWrite("ADM LOADCELL\r\n", field2, field3));
        QVERIFY(!CModuleReply::SplitForWrite("ADM,LOADCELL\r\n", field2, field3));
        QCOMPARE(field2, QByteArray("keep"));
        QVERIFY(CModuleReply::SplitForWrite("ADM,LOADCELL,0012345\r\n", field2, field3));
        QCOMPARE(field2, QByteArray("LOADCELL"));
        QCOMPARE(field3, QByteArray("0012345"));
        QVERIFY(CModuleReply::SplitForWrite("A,B,C,D,E", field2, field3));
        QCOMPARE(field3, QByteArray("C"));
        // Fields longer than the page edits are cut.
        QVERIFY(CModuleReply::SplitForWrite("A," + QByteArray(40, 'x') + "," + QByteArray(20, 'y') + ",V",
                                            field2, field3));
        QCOMPARE(field2.size(), 15);
        QCOMPARE(field3.size(), 7);
    }

    void valueTables()
    {
        QCOMPARE(CValueTables::Entries(List::FilterMode).size(), 2);
        QCOMPARE(CValueTables::Entries(List::DigitalFilter).size(), 9);
        QCOMPARE(CValueTables::Entries(List::OutputRate).size(), 21);
        QCOMPARE(CValueTables::Entries(List::ZeroTrackRange).size(), 5);
        QCOMPARE(CValueTables::Entries(List::ZeroTrackSpeed).size(), 8);
        QCOMPARE(CValueTables::Entries(List::PowerOnZero).size(), 5);
        QCOMPARE(CValueTables::Entries(List::Gain).size(), 8);
        QCOMPARE(CValueTables::Entries(List::DecimalPoint).size(), 7);
        QCOMPARE(CValueTables::Entries(List::Gain).last(), QString::fromUtf8("128倍"));
        QCOMPARE(CValueTables::Entries(List::FilterMode).first(), QString::fromUtf8("标准滤波"));
        QCOMPARE(CValueTables::Entries(List::DecimalPoint).at(3), QStringLiteral("xxxx.xxx"));

        // The rate list's argument is the rate; a reply maps back to its entry.
        QCOMPARE(CValueTables::ArgumentAt(List::OutputRate, 0), 1200);
        QCOMPARE(CValueTables::PositionOf(List::OutputRate, 480), 3);
        QCOMPARE(CValueTables::PositionOf(List::OutputRate, 481), -1);
        QCOMPARE(CValueTables::ArgumentAt(List::LinearPoints, 0), 4);
        QCOMPARE(CValueTables::PositionOf(List::LinearPoints, 8), 4);
        QCOMPARE(CValueTables::PositionOf(List::LinearPoints, 3), -1);
        QCOMPARE(CValueTables::ArgumentAt(List::Gain, 7), 7);
        QCOMPARE(CValueTables::ArgumentAt(List::Gain, 8), -1);
        QCOMPARE(CValueTables::ArgumentAt(List::OnOff, -1), -1);
    }
};

QTEST_GUILESS_MAIN(ModuleTest)
#include "ModuleTest.moc"
