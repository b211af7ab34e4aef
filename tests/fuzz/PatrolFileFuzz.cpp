// A patrol recording (.sdat) read back through the reader tests and benches
// use: drawn bytes as a file give their whole 4-byte little-endian values in
// order, the remainder counted and not read, the same as decoding the bytes
// in memory; the values written back are the file but for that remainder.
#include "FuzzInput.h"
#include "FuzzScratch.h"

#include "recording/PatrolFileReader.h"

#include <QtEndian>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QByteArray bytes(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    static const QString strPath = FuzzScratchDir().filePath(QStringLiteral("patrol.sdat"));
    QFile file(strPath);
    FUZZ_CHECK(WriteWholeFile(file, bytes));
    file.close();

    QList<qint32> arrValues;
    qsizetype nTorn = -1;
    FUZZ_CHECK(CPatrolFileReader::Read(strPath, arrValues, nTorn) == 0);
    FUZZ_CHECK(arrValues.size() == bytes.size() / 4 && nTorn == bytes.size() % 4);
    qsizetype nTornInMemory = -1;
    FUZZ_CHECK(CPatrolFileReader::Values(bytes, nTornInMemory) == arrValues);
    FUZZ_CHECK(nTornInMemory == nTorn);
    QByteArray again;
    for (const qint32 nValue : arrValues) {
        char value[4];
        qToLittleEndian(nValue, value);
        again.append(value, 4);
    }
    FUZZ_CHECK(again + bytes.right(nTorn) == bytes);
    return 0;
}
