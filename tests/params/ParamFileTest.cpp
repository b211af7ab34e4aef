#include "TestFiles.h"

#include "module/ModuleParamRecord.h"
#include "params/PageDisplayState.h"
#include "params/ParamFile.h"
#include "params/WeightReading.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <limits>

namespace {

qint32 WordAt(const QByteArray& bytes, int nOffset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + nOffset);
}

QByteArray WithWord(QByteArray bytes, int nOffset, qint32 nValue)
{
    qToLittleEndian(nValue, bytes.data() + nOffset);
    return bytes;
}

// A record with every word distinct, so that an offset mix-up shows.
ModuleParamRecord DistinctRecord()
{
    ModuleParamRecord record;
    qint32 n = 1000;
    for (const char* psz : {"COF", "TAV", "NOV", "ZSE", "ZTR", "ZTS", "ASF", "COC", "ADI", "LDW",
                            "LWT", "FMD", "ICR", "STR", "CSM", "RLN", "RLE", "CHP", "GAN"})
        *record.Field(psz) = n++;
    record.m_nRlcIndex = 7;
    for (int i = 0; i < 8; ++i) {
        record.m_arrRlc[i] = -i * 50000;
        record.m_arrManualMeasured[i] = 100 + i;
        record.m_arrManualWeight[i] = 200 + i;
    }
    record.m_nManualMeasuredCount = 6;
    record.m_nManualWeightCount = 5;
    record.m_strIdentification = "ADM,TX-485D        ,2400003,1.0\r\n";
    return record;
}

} // namespace

// The record, the page state, the parameter file and the weight display's arithmetic.
class ParamFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordWordsSitAtTheirOffsets()
    {
        const ModuleParamRecord record = DistinctRecord();
        const QByteArray bytes = record.ToBytes();
        QCOMPARE(bytes.size(), 452);
        struct Expected
        {
            const char* m_psz;
            int m_nOffset;
        };
        const Expected expected[] = {{"COF", 0},  {"TAV", 4},   {"NOV", 8},  {"ZSE", 16},
                                     {"ZTR", 24}, {"ZTS", 28},  {"ASF", 32}, {"COC", 36},
                                     {"ADI", 40}, {"LDW", 44},  {"LWT", 48}, {"FMD", 52},
                                     {"ICR", 56}, {"STR", 60},  {"CSM", 64}, {"RLN", 68},
                                     {"RLE", 72}, {"CHP", 184}, {"GAN", 188}};
        for (const Expected& e : expected)
            QVERIFY2(WordAt(bytes, e.m_nOffset) == *record.Field(e.m_psz), e.m_psz);
        QCOMPARE(WordAt(bytes, 12), 0);
        QCOMPARE(WordAt(bytes, 20), 0);
        QCOMPARE(WordAt(bytes, 76), 7);
        QCOMPARE(WordAt(bytes, 80 + 4 * 3), -150000);
        QCOMPARE(WordAt(bytes, 112), 6);
        QCOMPARE(WordAt(bytes, 116 + 4 * 7), 107);
        QCOMPARE(WordAt(bytes, 148), 5);
        QCOMPARE(WordAt(bytes, 152), 200);
        QCOMPARE(bytes.mid(192, 33), record.m_strIdentification);
        QCOMPARE(bytes.mid(192 + 33), QByteArray(260 - 33, '\0'));

        // Defaults of a fresh record: ZTS 1, RLN 4, the rest 0.
        const QByteArray fresh = ModuleParamRecord().ToBytes();
        QCOMPARE(WordAt(fresh, 28), 1);
        QCOMPARE(WordAt(fresh, 68), 4);
        QCOMPARE(fresh.count('\0'), 452 - 2);

        ModuleParamRecord back;
        QVERIFY(ModuleParamRecord::FromBytes(bytes, back));
        QCOMPARE(back, record);
    }

    void stateWordsAndReservedTail()
    {
        PageDisplayState state;
        state.m_nSelectedAddress = 22;
        state.m_nNewAddress = 23;
        state.m_nUnit = 4;
        state.m_nDecimals = 6;
        state.m_nDivision = 5;
        state.m_nMaximum = 9;
        state.m_nMinimum = -9;
        state.m_nDifference = 18;
        state.m_bRecording = 1;
        const QByteArray bytes = state.ToBytes();
        QCOMPARE(bytes.size(), 64);
        const qint32 expected[] = {22, 23, 0, 4, 6, 5, 9, -9, 18, 1, 1};
        for (int i = 0; i < 11; ++i)
            QCOMPARE(WordAt(bytes, 4 * i), expected[i]);
        QCOMPARE(bytes.mid(44), QByteArray(20, '\0'));
    }

    void fileRoundTripAndWrongSizes()
    {
        QTemporaryDir dir;
        const QString strPath = dir.filePath("a.stp");
        ModuleParamRecord record = DistinctRecord();
        record.m_nFmd = 7; // outside its list: a read passes it, so must the file
        PageDisplayState state;
        state.m_nSelectedAddress = 3;
        state.m_nUnit = 2;
        state.m_nDecimals = 3;
        state.m_nDivision = 6;
        QString strError;
        QVERIFY(CParamFile::Export(strPath, record, state, strError));
        const QByteArray bytes = ReadFile(strPath);
        QCOMPARE(bytes.size(), 516);

        ModuleParamRecord readRecord;
        PageDisplayState readState;
        QVERIFY2(CParamFile::Import(strPath, readRecord, readState, strError),
                 qPrintable(strError));
        QCOMPARE(readRecord, record);
        QCOMPARE(readState, state);

        const ModuleParamRecord untouched;
        for (const QByteArray& wrong : {bytes.left(515), bytes + 'x', QByteArray()}) {
            QVERIFY(WriteFile(strPath, wrong));
            ModuleParamRecord r;
            PageDisplayState s;
            QVERIFY(!CParamFile::Import(strPath, r, s, strError));
            QVERIFY(strError.contains(QString::number(wrong.size())));
            QCOMPARE(r, untouched);
            QCOMPARE(s, PageDisplayState());
        }
        QVERIFY(!CParamFile::Import(dir.filePath("missing.stp"), readRecord, readState, strError));
    }

    void importRefusesWhatNoToolWrote_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("selected address 32") << 452 << 32 << false;
        QTest::newRow("selected address -1") << 452 << -1 << false;
        QTest::newRow("new address 31") << 456 << 31 << true;
        QTest::newRow("new address 40") << 456 << 40 << false;
        QTest::newRow("unit 5") << 464 << 5 << false;
        QTest::newRow("decimals 7") << 468 << 7 << false;
        QTest::newRow("division -1") << 472 << -1 << false;
        QTest::newRow("division 6") << 472 << 6 << true;
        QTest::newRow("GAN index 9") << 188 << 9 << true;
        QTest::newRow("reserved word") << 460 << 77 << true;
        QTest::newRow("reserved tail") << 500 << 1234 << true;
        QTest::newRow("extreme maximum") << 476 << std::numeric_limits<int>::max() << true;
    }

    void importRefusesWhatNoToolWrote()
    {
        QFETCH(int, offset);
        QFETCH(int, value);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        const QString strPath = dir.filePath("b.stp");
        QString strError;
        QVERIFY(CParamFile::Export(strPath, ModuleParamRecord(), PageDisplayState(), strError));
        QVERIFY(WriteFile(strPath, WithWord(ReadFile(strPath), offset, value)));
        ModuleParamRecord record;
        record.m_nAdi = 42;
        PageDisplayState state;
        QCOMPARE(CParamFile::Import(strPath, record, state, strError), accepted);
        if (!accepted)
            QCOMPARE(record.m_nAdi, 42);
    }

    void importRefusesAnIdentificationWithoutEnd()
    {
        QTemporaryDir dir;
        const QString strPath = dir.filePath("c.stp");
        QString strError;
        QVERIFY(CParamFile::Export(strPath, ModuleParamRecord(), PageDisplayState(), strError));
        QByteArray bytes = ReadFile(strPath);
        bytes.replace(192, 260, QByteArray(260, 'A'));
        QVERIFY(WriteFile(strPath, bytes));
        ModuleParamRecord record;
        PageDisplayState state;
        QVERIFY(!CParamFile::Import(strPath, record, state, strError));
        bytes[192 + 259] = '\0';
        QVERIFY(WriteFile(strPath, bytes));
        QVERIFY(CParamFile::Import(strPath, record, state, strError));
        QCOMPARE(record.m_strIdentification, QByteArray(259, 'A'));
    }

    void failedExportKeepsTheEarlierFile()
    {
        QTemporaryDir dir;
        const QString strPath = dir.filePath("d.stp");
        ModuleParamRecord first;
        first.m_nAdi = 111;
        QString strError;
        QVERIFY(CParamFile::Export(strPath, first, PageDisplayState(), strError));
        const QByteArray earlier = ReadFile(strPath);

        // A file size limit below one parameter file: the write fails, as on a full disk.
        ModuleParamRecord second;
        second.m_nAdi = 222;
        bool bExported = true;
        {
            CFileSizeLimit limit(100);
            QVERIFY(limit.IsSet());
            bExported = CParamFile::Export(strPath, second, PageDisplayState(), strError);
        }
        QVERIFY(!bExported);
        QVERIFY(!strError.isEmpty());
        QCOMPARE(ReadFile(strPath), earlier);

        // A folder that is a plain file fails for root too.
        QVERIFY(!CParamFile::Export(strPath + "/e.stp", second, PageDisplayState(), strError));
        QVERIFY(!strError.isEmpty());
    }

    void weightText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("division");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("12345 /5 .2") << 12345 << 2 << 2 << "123.45";
        QTest::newRow("-12347 /5 .3") << -12347 << 2 << 3 << "-12.345";
        QTest::newRow("7 /10 .0") << 7 << 3 << 0 << "0";
        QTest::newRow("-1 /1 .6") << -1 << 0 << 6 << "-0.000001";
        QTest::newRow("99 /100") << 99 << 6 << 0 << "0";
        QTest::newRow("-199 /100") << -199 << 6 << 1 << "-10.0";
        QTest::newRow("max /1 .0") << std::numeric_limits<int>::max() << 0 << 0 << "2147483647";
        QTest::newRow("min /2 .0") << std::numeric_limits<int>::min() << 1 << 0 << "-2147483648";
    }

    void weightText()
    {
        QFETCH(int, value);
        QFETCH(int, division);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        QCOMPARE(CWeightReading::Text(value, division, decimals), text);
    }

    void statisticsRestartAndSaturate()
    {
        CWeightReading::Statistics statistics{50, 40, 10};
        statistics = CWeightReading::Accumulate(statistics, true, 7);
        QCOMPARE(statistics.m_nMaximum, 7);
        QCOMPARE(statistics.m_nMinimum, 7);
        QCOMPARE(statistics.m_nDifference, 0);
        statistics = CWeightReading::Accumulate(statistics, false, -3);
        statistics = CWeightReading::Accumulate(statistics, false, 12);
        QCOMPARE(statistics.m_nMaximum, 12);
        QCOMPARE(statistics.m_nMinimum, -3);
        QCOMPARE(statistics.m_nDifference, 15);

        // Extremes as an imported file may carry them.
        const CWeightReading::Statistics imported{std::numeric_limits<int>::max(),
                                                  std::numeric_limits<int>::min(), 0};
        statistics = CWeightReading::Accumulate(imported, false, 0);
        QCOMPARE(statistics.m_nDifference, std::numeric_limits<int>::max());
    }
};

QTEST_GUILESS_MAIN(ParamFileTest)
#include "ParamFileTest.moc"
