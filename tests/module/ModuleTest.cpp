#include "module/AddressList.h"
#include "module/GbkCodec.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "module/ParameterTable.h"
#include "module/ValueTables.h"

#include <QTest>

#include <climits>

using List = CValueTables::List;
using Reading = CParameterTable::Reading;

Q_DECLARE_METATYPE(ModuleRequest)

namespace {

const CParameterTable::Parameter* FindStep(const char* pszMnemonic)
{
    return CParameterTable::Find(pszMnemonic);
}

} // namespace

class ModuleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requests_data()
    {
        QTest::addColumn<ModuleRequest>("request");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("replyLen");
        QTest::addColumn<int>("timeoutMs");

        auto row = [](const char* pszName, const ModuleRequest& request, const char* pszText,
                      int nReplyLen, int nTimeoutMs) {
            QTest::newRow(pszName) << request << QByteArray(pszText) << nReplyLen << nTimeoutMs;
        };
        row("filter mode", CModuleCommand::Set(7, "FMD", 1), "S07;FMD1;", 3, 1500);
        row("rate from the list",
            CModuleCommand::Set(1, "ICR", CValueTables::ArgumentAt(List::OutputRate, 11)),
            "S01;ICR96;", 3, 1500);
        row("negative tare", CModuleCommand::Set(31, "TAV", -250), "S31;TAV-250;", 3, 1500);
        row("checksum save", CModuleCommand::Set(4, "CSM", 0), "S04;CSM0;", 3, 1500);
        row("zero load value", CModuleCommand::Set(5, "LDW", 12), "S05;LDW12;", 3, 500);
        row("full load value", CModuleCommand::Set(5, "LWT", 99000), "S05;LWT99000;", 3, 500);
        row("nominal value", CModuleCommand::Set(5, "NOV", -3), "S05;NOV-3;", 3, 500);
        row("linearisation on", CModuleCommand::Set(5, "RLE", 1), "S05;RLE1;", 3, 500);
        row("point count", CModuleCommand::Set(5, "RLN", 8), "S05;RLN8;", 3, 500);
        row("gain with password", CModuleCommand::Gain(2, 5), "S02;SPW\"WaRkuTE\";GAN5;", 3, 1500);
        row("identification", CModuleCommand::WriteIdentification(4, "LOADCELL", "0012345"),
            "S04;IDN\"LOADCELL\",\"0012345\";", 3, 1500);
        row("store in a save", CModuleCommand::Store(6, 1500), "S06;TDD1;", 3, 1500);
        row("store after readdress", CModuleCommand::Store(3, 500), "S03;TDD1;", 3, 500);
        row("binary output, read", CModuleCommand::BinaryOutput(0, 1500), "S00;COF8;", 3, 1500);
        row("binary output, start", CModuleCommand::BinaryOutput(0, 500), "S00;COF8;", 3, 500);
        row("unlock", CModuleCommand::Unlock(10, 500), "S10;SPW\"NiLOx\";", 3, 500);
        row("checksum on", CModuleCommand::ChecksumOn(29, 200), "S29;CSM1;", 3, 200);
        row("new address", CModuleCommand::NewAddress(12, 3), "S12;adr03;", 3, 500);
        row("linear point", CModuleCommand::LinearPoint(9, 7, -12), "S09;RLC7,-12;", 3, 500);
        row("tare", CModuleCommand::Tare(1), "S01;TAR;", 3, 500);
        row("gross", CModuleCommand::SelectNet(5, false), "S05;TAS0;", 3, 500);
        row("net", CModuleCommand::SelectNet(5, true), "S05;TAS1;", 3, 500);
        row("zero capture", CModuleCommand::CaptureZero(5), "S05;LDW;", 10, 1500);
        row("full load capture", CModuleCommand::CaptureFullLoad(5), "S05;LWT;", 10, 1500);
        row("measured value", CModuleCommand::MeasuredValue(5), "S05;MSV?;", 6, 500);
        row("scan", CModuleCommand::AddressQuery(5), "S05;ADR?;", 3, 100);
        row("tare query", CModuleCommand::Query(8, "TAV"), "S08;TAV?;", 10, 1500);
        row("tare query after tare", CModuleCommand::Query(8, "TAV", 500), "S08;TAV?;", 10, 500);
        row("nominal query", CModuleCommand::Query(8, "NOV"), "S08;NOV?;", 9, 1500);
        row("identification query", CModuleCommand::Query(8, "IDN"), "S08;IDN?;", 33, 1500);
    }
    void requests()
    {
        QFETCH(ModuleRequest, request);
        QFETCH(QByteArray, text);
        QFETCH(int, replyLen);
        QFETCH(int, timeoutMs);
        QCOMPARE(request.m_text, text);
        QCOMPARE(request.m_nReplyLen, replyLen);
        QCOMPARE(request.m_nTimeoutMs, timeoutMs);
    }

    void framing()
    {
        QCOMPARE(CModuleCommand::Frame(5, "MSV?"), QByteArray("S05;MSV?;"));
        QCOMPARE(CModuleCommand::Frame(17, "ADR?"), QByteArray("S17;ADR?;"));
        // As "%.2d" writes them: wider numbers keep their digits, the sign goes first.
        QCOMPARE(CModuleCommand::Frame(100, "ADR?"), QByteArray("S100;ADR?;"));
        QCOMPARE(CModuleCommand::Frame(-3, "ADR?"), QByteArray("S-03;ADR?;"));
        QCOMPARE(CModuleCommand::NewAddress(0, 31).m_text, QByteArray("S00;adr31;"));
        QCOMPARE(CModuleCommand::RawAddressQuery(8), QByteArray("S08;adr?;"));
    }

    void readSequence()
    {
        struct Expected
        {
            const char* m_pszMnemonic;
            int m_nReplyLen;
            Reading m_reading;
            std::optional<List> m_list;
        };
        const auto kIndex = Reading::ListIndex;
        const auto kNumber = Reading::Number;
        const Expected expected[] = {{"FMD", 3, kIndex, List::FilterMode},
                                     {"ASF", 3, kIndex, List::DigitalFilter},
                                     {"ADI", 3, kNumber, {}},
                                     {"COC", 3, kNumber, {}},
                                     {"COF", 3, kNumber, {}},
                                     {"TAV", 10, kNumber, {}},
                                     {"ICR", 3, Reading::Rate, List::OutputRate},
                                     {"ZTR", 3, kIndex, List::ZeroTrackRange},
                                     {"ZTS", 3, Reading::Unsupportable, List::ZeroTrackSpeed},
                                     {"ZSE", 3, kIndex, List::PowerOnZero},
                                     {"STR", 3, kIndex, List::OnOff},
                                     {"CSM", 3, kIndex, List::OnOff},
                                     {"LDW", 10, kNumber, {}},
                                     {"LWT", 10, kNumber, {}},
                                     {"NOV", 9, kNumber, {}},
                                     {"CHP", 3, kIndex, List::OnOff},
                                     {"GAN", 3, kIndex, List::Gain},
                                     {"RLE", 3, kIndex, List::OnOff},
                                     {"RLN", 3, kNumber, List::LinearPoints},
                                     {"IDN", 33, Reading::Identification, {}}};
        const QList<CParameterTable::Parameter>& steps = CParameterTable::Parameters();
        QCOMPARE(steps.size(), qsizetype(std::size(expected)));
        for (qsizetype i = 0; i < steps.size(); ++i) {
            QCOMPARE(steps[i].m_pszMnemonic, expected[i].m_pszMnemonic);
            QCOMPARE(steps[i].m_nReplyLen, expected[i].m_nReplyLen);
            QCOMPARE(steps[i].m_nTimeoutMs, 1500);
            QCOMPARE(steps[i].m_reading, expected[i].m_reading);
            QCOMPARE(steps[i].m_list, expected[i].m_list);
            // The query a caller builds from the step waits for the same length.
            QCOMPARE(CModuleCommand::Query(3, steps[i].m_pszMnemonic).m_nReplyLen,
                     expected[i].m_nReplyLen);
        }
    }

    // What a setting may carry, and what a save writes, come from the table.
    void settingValuesAndSaveSteps()
    {
        struct Case
        {
            const char* m_pszMnemonic;
            qint32 m_nValue;
            bool m_bAccepted;
        };
        const Case cases[] = {{"ADI", -1, false},  {"ADI", 0, true},       {"ADI", 500, true},
                              {"ADI", 501, false}, {"COC", 999, true},     {"COC", 1000, false},
                              {"ICR", 480, true},  {"ICR", 481, false},    {"ICR", 0, false},
                              {"FMD", 1, true},    {"FMD", 2, false},      {"GAN", 7, true},
                              {"GAN", 8, false},   {"ZTS", -1, false},     {"RLN", 4, true},
                              {"RLN", 3, false},   {"COF", INT_MIN, true}, {"TAV", INT_MAX, true}};
        for (const Case& c : cases)
            QVERIFY2(FindStep(c.m_pszMnemonic)->Accepts(c.m_nValue) == c.m_bAccepted,
                     qPrintable(QStringLiteral("%1=%2").arg(c.m_pszMnemonic).arg(c.m_nValue)));
        QVERIFY(!FindStep("TDD1") && !FindStep("MSV"));
        QCOMPARE(CParameterTable::SaveSteps(),
                 QByteArrayList({"FMD", "ASF", "ADI", "COC", "COF", "TAV", "ICR", "ZTR", "ZTS",
                                 "ZSE", "STR", "CSM", "CHP", "GAN", "IDN", "TDD1"}));
        // Calibration and linearisation values are set with the short time-out.
        for (const CParameterTable::Parameter& parameter : CParameterTable::Parameters())
            QCOMPARE(CModuleCommand::Set(3, parameter.m_pszMnemonic, 1).m_nTimeoutMs,
                     QByteArrayList({"LDW", "LWT", "NOV", "RLE", "RLN"})
                             .contains(parameter.m_pszMnemonic)
                         ? 500
                         : 1500);
    }

    void readValue()
    {
        int nValue = 6;
        // Only the zero-tracking speed may be missing; its value then stays.
        QVERIFY(!CParameterTable::ReadValue(*FindStep("ZTS"), "?\r\n", nValue));
        QCOMPARE(nValue, 6);
        QVERIFY(CParameterTable::ReadValue(*FindStep("ZTS"), "3\r\n", nValue));
        QCOMPARE(nValue, 3);
        QVERIFY(CParameterTable::ReadValue(*FindStep("FMD"), "?\r\n", nValue));
        QCOMPARE(nValue, 0);

        // The rate reply is the rate; the list finds its entry.
        const CParameterTable::Parameter& rate = *FindStep("ICR");
        QVERIFY(CParameterTable::ReadValue(rate, "480\r\n", nValue));
        QCOMPARE(nValue, 480);
        QCOMPARE(
            CValueTables::Entries(*rate.m_list).at(CValueTables::PositionOf(*rate.m_list, nValue)),
            QStringLiteral("480"));

        const CParameterTable::Parameter& points = *FindStep("RLN");
        QVERIFY(CParameterTable::ReadValue(points, "6\r\n", nValue));
        QCOMPARE(CValueTables::PositionOf(*points.m_list, nValue), 2);

        QVERIFY(CParameterTable::ReadValue(*FindStep("TAV"), "-0000120\r\n", nValue));
        QCOMPARE(nValue, -120);

        nValue = 9;
        QVERIFY(!CParameterTable::ReadValue(*FindStep("IDN"), "123,x\r\n", nValue));
        QCOMPARE(nValue, 9);
    }

    void atoi_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << QByteArray("480\r\n") << 480;
        QTest::newRow("padded plus") << QByteArray("+0012345\r\n") << 12345;
        QTest::newRow("plus, no line end") << QByteArray("+7") << 7;
        QTest::newRow("space, minus") << QByteArray(" -12\r\n") << -12;
        QTest::newRow("all white space kinds") << QByteArray("\t\n\v\f\r 42") << 42;
        QTest::newRow("digits then text") << QByteArray("7abc") << 7;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("refusal") << QByteArray("?\r\n") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("lone sign") << QByteArray("-\r\n") << 0;
        QTest::newRow("two signs") << QByteArray("--5") << 0;
        QTest::newRow("int max") << QByteArray("2147483647") << INT_MAX;
        QTest::newRow("int max + 1 clamps") << QByteArray("2147483648") << INT_MAX;
        QTest::newRow("int min") << QByteArray("-2147483648") << INT_MIN;
        QTest::newRow("int min - 1 clamps") << QByteArray("-2147483649") << INT_MIN;
        QTest::newRow("huge") << QByteArray("99999999999999999999999999\r\n") << INT_MAX;
        QTest::newRow("leading zeros") << QByteArray("0000000000000000000000000001") << 1;
    }
    void atoi()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, value);
        QCOMPARE(CModuleReply::Atoi(reply), value);
    }

    void acknowledgementAndRefusal()
    {
        QVERIFY(CModuleReply::IsAcknowledged("0\r\n"));
        QVERIFY(CModuleReply::IsAcknowledged("0\r\nxx"));
        QVERIFY(!CModuleReply::IsAcknowledged(" 0\r\n"));
        QVERIFY(!CModuleReply::IsAcknowledged("1\r\n"));
        QVERIFY(!CModuleReply::IsAcknowledged("00\r\n"));
        QVERIFY(!CModuleReply::IsAcknowledged("0\r"));
        QVERIFY(!CModuleReply::IsAcknowledged("?\r\n"));
        QVERIFY(!CModuleReply::IsAcknowledged(""));

        QVERIFY(CModuleReply::IsUnsupported("?\r\n"));
        QVERIFY(!CModuleReply::IsUnsupported("?\r\n1"));
        QVERIFY(!CModuleReply::IsUnsupported("?"));
        QVERIFY(!CModuleReply::IsUnsupported("3\r\n"));
    }

    void measuredValueDecoding_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("most negative")
            << QByteArray("\x80\x00\x00\x80\r\n", 6) << true << true << -8388608;
        QTest::newRow("most positive")
            << QByteArray("\x7f\xff\xff\x7f\r\n", 6) << true << true << 8388607;
        QTest::newRow("minus one") << QByteArray("\xff\xff\xff\xff\r\n", 6) << true << true << -1;
        QTest::newRow("good check")
            << QByteArray("\x01\x02\x04\x07\r\n", 6) << true << true << 66052;
        QTest::newRow("good check, off")
            << QByteArray("\x01\x02\x04\x07\r\n", 6) << false << true << 66052;
        QTest::newRow("bad check") << QByteArray("\x01\x02\x04\x00\r\n", 6) << true << false << 0;
        QTest::newRow("bad check, off")
            << QByteArray("\x01\x02\x04\x00\r\n", 6) << false << true << 66052;
        QTest::newRow("tail not looked at")
            << QByteArray("\x01\x02\x04\x07xy", 6) << true << true << 66052;
        QTest::newRow("noise before it, check off")
            << QByteArray("\x5a\x01\x02\x04\x07\r\n", 7) << false << false << 0;
        QTest::newRow("a byte after it")
            << QByteArray("\x01\x02\x04\x07\r\n\x00", 7) << true << false << 0;
        QTest::newRow("five bytes") << QByteArray("\x01\x02\x04\x07\r", 5) << false << false << 0;
        QTest::newRow("empty") << QByteArray() << false << false << 0;
    }
    void measuredValueDecoding()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, checksum);
        QFETCH(bool, ok);
        QFETCH(int, value);
        qint32 nValue = 12345;
        QCOMPARE(CModuleReply::DecodeMeasuredValue(reply, checksum, nValue), ok);
        // A failed read leaves the value as it was.
        QCOMPARE(nValue, ok ? value : 12345);
    }

    void addressLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<int>>("addresses");
        QTest::newRow("one") << "5" << true << QList<int>{5};
        QTest::newRow("several, blanks") << " 1, 3 ,17" << true << QList<int>{1, 3, 17};
        QTest::newRow("bounds") << "0,99" << true << QList<int>{0, 99};
        QTest::newRow("leading zero") << "07" << true << QList<int>{7};
        QTest::newRow("too high") << "1,100" << false << QList<int>{};
        QTest::newRow("negative") << "-1" << false << QList<int>{};
        QTest::newRow("sign") << "+3" << false << QList<int>{};
        QTest::newRow("repeated") << "3,3" << false << QList<int>{};
        QTest::newRow("empty") << "" << false << QList<int>{};
        QTest::newRow("empty item") << "1,,3" << false << QList<int>{};
        QTest::newRow("trailing comma") << "1," << false << QList<int>{};
        QTest::newRow("word") << "one" << false << QList<int>{};
        QTest::newRow("overflow") << "99999999999999999999" << false << QList<int>{};
    }
    void addressLists()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QList<int>, addresses);
        QList<int> arrParsed{42};
        QCOMPARE(CAddressList::Parse(text, arrParsed), ok);
        // A refused list leaves the one given untouched.
        QCOMPARE(arrParsed, ok ? addresses : QList<int>{42});
    }

    void addressEcho()
    {
        QVERIFY(CModuleReply::IsAddressEcho("05\r\n", 5));
        QVERIFY(CModuleReply::IsAddressEcho("00\r\n", 0));
        QVERIFY(!CModuleReply::IsAddressEcho("5\r\n", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("005\r\n", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("05\r\n05\r\n", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("05\r\n ", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("05", 5));
        QVERIFY(!CModuleReply::IsAddressEcho("0\r\n", 0));
    }

    void identificationFields()
    {
        const QByteArray reply = "ADM,LOADCELL-TX-200,0012345,1.0\r\n";
        QCOMPARE(reply.size(), 33);
        QCOMPARE(CModuleReply::IdentificationFields(reply),
                 (QList<QByteArray>{"ADM", "LOADCELL-TX-200", "0012345", "1.0"}));
        // The separators are skipped whatever they are: only positions count.
        QCOMPARE(CModuleReply::IdentificationFields("abc|def............|ghijklm|xyz\r\n"),
                 (QList<QByteArray>{"abc", "def............", "ghijklm", "xyz"}));

        // Short replies give short or empty fields.
        QCOMPARE(CModuleReply::IdentificationFields("ADM,LOAD"),
                 (QList<QByteArray>{"ADM", "LOAD", "", ""}));
        QCOMPARE(CModuleReply::IdentificationFields(reply.left(30)).value(3), QByteArray("1."));
        QCOMPARE(CModuleReply::IdentificationFields(""), (QList<QByteArray>{"", "", "", ""}));

        // Overlong: the fields stay where they are, the kept text is bounded.
        const QByteArray longReply = reply.left(31) + QByteArray(400, 'z');
        QCOMPARE(CModuleReply::IdentificationFields(longReply),
                 (QList<QByteArray>{"ADM", "LOADCELL-TX-200", "0012345", "1.0"}));
        QCOMPARE(CModuleReply::IdentificationText(longReply), longReply.left(259));
        const QByteArray exact(259, 'a');
        QCOMPARE(CModuleReply::IdentificationText(exact), exact);
        QCOMPARE(CModuleReply::IdentificationText(reply), reply);
    }

    void identificationWriteBack()
    {
        QByteArray field2, field3;
        const QByteArray reply = "ADM,LOADCELL-TX-200,0012345,1.0\r\n";
        QVERIFY(CModuleReply::SplitForWrite(reply, field2, field3));
        QCOMPARE(CModuleCommand::WriteIdentification(1, field2, field3).m_text,
                 QByteArray("S01;IDN\"LOADCELL-TX-200\",\"0012345\";"));

        // The page rebuilds the text from its four fields after an edit.
        QVERIFY(CModuleReply::SplitForWrite("ADM,SCALE 7,99,1.0\r\n", field2, field3));
        QCOMPARE(field2, QByteArray("SCALE 7"));
        QCOMPARE(field3, QByteArray("99"));

        // Commas past the third do not matter.
        QVERIFY(CModuleReply::SplitForWrite("A,B,C,D,E", field2, field3));
        QCOMPARE(field2, QByteArray("B"));
        QCOMPARE(field3, QByteArray("C"));

        QVERIFY(CModuleReply::SplitForWrite("A,,,", field2, field3));
        QCOMPARE(field2, QByteArray());
        QCOMPARE(field3, QByteArray());

        // Fields longer than the page edits are cut.
        QVERIFY(CModuleReply::SplitForWrite(
            "A," + QByteArray(40, 'x') + "," + QByteArray(20, 'y') + ",V", field2, field3));
        QCOMPARE(field2, QByteArray(15, 'x'));
        QCOMPARE(field3, QByteArray(7, 'y'));
    }

    void identificationWriteBackWithoutThreeCommas()
    {
        QByteArray field2 = "keep", field3 = "keep";
        // Fewer than two commas: nothing to write, the outputs stay.
        QVERIFY(!CModuleReply::SplitForWrite("", field2, field3));
        QVERIFY(!CModuleReply::SplitForWrite("ADM LOADCELL\r\n", field2, field3));
        QVERIFY(!CModuleReply::SplitForWrite("ADM,LOADCELL\r\n", field2, field3));
        QCOMPARE(field2, QByteArray("keep"));
        QCOMPARE(field3, QByteArray("keep"));

        // Two commas: field 3 runs to the end, without the line end.
        QVERIFY(CModuleReply::SplitForWrite("ADM,LOADCELL,0012345\r\n", field2, field3));
        QCOMPARE(field2, QByteArray("LOADCELL"));
        QCOMPARE(field3, QByteArray("0012345"));
        QVERIFY(CModuleReply::SplitForWrite("ADM,LOADCELL,\r\n", field2, field3));
        QCOMPARE(field3, QByteArray());
        QVERIFY(CModuleReply::SplitForWrite("ADM,LOADCELL,0123456789\r\n", field2, field3));
        QCOMPARE(field3, QByteArray("0123456"));
    }

    void valueTableSizes_data()
    {
        QTest::addColumn<List>("list");
        QTest::addColumn<int>("size");
        QTest::newRow("FMD") << List::FilterMode << 2;
        QTest::newRow("ASF") << List::DigitalFilter << 9;
        QTest::newRow("ICR") << List::OutputRate << 21;
        QTest::newRow("ZTR") << List::ZeroTrackRange << 5;
        QTest::newRow("ZTS") << List::ZeroTrackSpeed << 8;
        QTest::newRow("ZSE") << List::PowerOnZero << 5;
        QTest::newRow("on/off") << List::OnOff << 2;
        QTest::newRow("GAN") << List::Gain << 8;
        QTest::newRow("RLN") << List::LinearPoints << 5;
        QTest::newRow("unit") << List::Unit << 5;
        QTest::newRow("division") << List::DisplayDivision << 7;
        QTest::newRow("decimal point") << List::DecimalPoint << 7;
    }
    void valueTableSizes()
    {
        QFETCH(List, list);
        QFETCH(int, size);
        QCOMPARE(CValueTables::Entries(list).size(), qsizetype(size));
        QCOMPARE(CValueTables::ArgumentAt(list, size), -1);
        QCOMPARE(CValueTables::ArgumentAt(list, -1), -1);
        // Every entry's argument leads back to that entry.
        for (int i = 0; i < size; ++i)
            QCOMPARE(CValueTables::PositionOf(list, CValueTables::ArgumentAt(list, i)), i);
    }

    void valueTableTexts()
    {
        auto texts = [](List list) { return CValueTables::Entries(list); };
        QCOMPARE(texts(List::FilterMode), (QStringList{"标准滤波", "低通滤波"}));
        QCOMPARE(texts(List::DigitalFilter).last(), QStringLiteral("0.05Hz"));
        QCOMPARE(texts(List::ZeroTrackSpeed).mid(0, 2), (QStringList{"0.5d/2s", "0.5d/s"}));
        QCOMPARE(texts(List::PowerOnZero).at(3), QStringLiteral("+/-10%Max"));
        QCOMPARE(texts(List::OnOff), (QStringList{"OFF", "ON"}));
        QCOMPARE(texts(List::Gain).last(), QStringLiteral("128倍"));
        QCOMPARE(texts(List::Unit), (QStringList{"g", "Kg", "T", "lb", "N"}));
        QCOMPARE(texts(List::DecimalPoint).at(3), QStringLiteral("xxxx.xxx"));
    }

    void valueTableArguments()
    {
        // The rate list's argument is the rate; a reply maps back to its entry.
        QCOMPARE(CValueTables::ArgumentAt(List::OutputRate, 0), 1200);
        QCOMPARE(CValueTables::ArgumentAt(List::OutputRate, 11), 96);
        QCOMPARE(CValueTables::ArgumentAt(List::OutputRate, 20), 4);
        QCOMPARE(CValueTables::PositionOf(List::OutputRate, 480), 3);
        QCOMPARE(CValueTables::PositionOf(List::OutputRate, 481), -1);
        QCOMPARE(CValueTables::PositionOf(List::OutputRate, 0), -1);
        // The point count is the position + 4.
        QCOMPARE(CValueTables::ArgumentAt(List::LinearPoints, 0), 4);
        QCOMPARE(CValueTables::PositionOf(List::LinearPoints, 8), 4);
        QCOMPARE(CValueTables::PositionOf(List::LinearPoints, 3), -1);
        QCOMPARE(CValueTables::PositionOf(List::LinearPoints, 9), -1);
        // Everywhere else the argument is the position, whatever the entry reads.
        QCOMPARE(CValueTables::ArgumentAt(List::Gain, 7), 7);
        QCOMPARE(CValueTables::ArgumentAt(List::DisplayDivision, 3), 3);
        QCOMPARE(CValueTables::PositionOf(List::ZeroTrackSpeed, 7), 7);
        QCOMPARE(CValueTables::PositionOf(List::OnOff, 2), -1);
    }

    void gbkRoundTripAndSplitCharacters()
    {
        const QString strText = QString::fromUtf8("称重模块 AD-01");
        const QByteArray bytes = CGbkCodec::Encode(strText);
        QCOMPARE(bytes.left(2), QByteArray("\xb3\xc6"));
        QCOMPARE(CGbkCodec::Decode(bytes), strText);
        QVERIFY(CGbkCodec::CanEncode(strText));
        QVERIFY(!CGbkCodec::CanEncode(QString::fromUtf8("\xf0\x9f\x98\x80")));

        // 中 is D6 D0: split across two blocks it still decodes whole.
        QStringDecoder decoder = CGbkCodec::MakeDecoder();
        QString strFirst = decoder.decode(QByteArray("A\xd6"));
        QString strSecond = decoder.decode(QByteArray("\xd0"
                                                      "B"));
        QCOMPARE(strFirst + strSecond, QString::fromUtf8("A中B"));
        QVERIFY(CGbkCodec::Decode(QByteArray("\xa1 ")).contains(QChar::ReplacementCharacter));
    }
};

QTEST_GUILESS_MAIN(ModuleTest)
#include "ModuleTest.moc"
