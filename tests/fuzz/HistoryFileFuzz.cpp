// A .Dat recording loaded for the history page, then looked at through
// windows at drawn starts and lengths, as zooming and scrolling do. The load
// takes every whole 12-byte record as written and ignores a shorter
// remainder; the summary's extremes of any window are those of its records.
#include "FuzzInput.h"
#include "FuzzScratch.h"

#include "curves/HistoryData.h"
#include "recording/RecordingReader.h"

#include <QList>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    QList<std::pair<qint64, qint64>> windows(input.Range(1, 8));
    for (auto& [nStart, nLength] : windows) {
        nStart = input.Range(0, 4095);
        nLength = qint64(1) << input.Range(0, 12); // a zoom level
        nLength += input.Range(-1, 1);
    }
    const QByteArray bytes = input.Rest();

    static const QString strPath = FuzzScratchDir().filePath("history.Dat");
    QFile file(strPath);
    FUZZ_CHECK(WriteWholeFile(file, bytes));
    file.close();

    CRecordBuffer records;
    int nError = 0;
    FUZZ_CHECK(CRecordingReader::Read(strPath, records, nError));
    const qint64 nCount = bytes.size() / WeightRecord::kSize;
    FUZZ_CHECK(records.Count() == nCount);
    for (qint64 i = 0; i < nCount; ++i) {
        const WeightRecord record = WeightRecord::FromBytes(bytes.constData() + i * 12);
        FUZZ_CHECK(records[i].FileTime() == record.FileTime());
        FUZZ_CHECK(records[i].m_nValue == record.m_nValue);
    }

    const CHistoryData history(std::move(records));
    FUZZ_CHECK(history.Count() == nCount);
    if (nCount == 0)
        return 0;
    for (qint64 i = 0; i < nCount; ++i) {
        qint64 nSeconds = 0;
        if (history.Seconds(i, nSeconds))
            FUZZ_CHECK(nSeconds >=
                       -WeightRecord::kUnixEpochFileTime / WeightRecord::kIntervalsPerSecond - 1);
    }
    for (auto [nStart, nLength] : windows) {
        nStart %= nCount;
        const qint64 nEnd = std::clamp<qint64>(nStart + nLength, nStart + 1, nCount);
        qint32 nMin = 0;
        qint32 nMax = 0;
        history.MinMax(nStart, nEnd, nMin, nMax);
        qint32 nLow = history.Record(nStart).m_nValue;
        qint32 nHigh = nLow;
        for (qint64 i = nStart; i < nEnd; ++i) {
            nLow = std::min(nLow, history.Record(i).m_nValue);
            nHigh = std::max(nHigh, history.Record(i).m_nValue);
        }
        FUZZ_CHECK(nMin == nLow && nMax == nHigh);
    }
    return 0;
}
