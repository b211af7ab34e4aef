// The parameter file (.stp). Accepted: exactly 516 bytes whose
// identification ends inside its 260 bytes and whose addresses and display
// settings lie in their tables; a refusal leaves record and state as they
// were. An accepted file exported again is the same file, but for the bytes
// the format does not keep (those after the identification's end and the
// reserved tail, written as zeros); that export reads back unchanged through
// a real file.
#include "FuzzInput.h"
#include "FuzzScratch.h"

#include "params/ParamFile.h"

#include <QFile>

namespace {

constexpr int kIdentificationAt = ModuleParamRecord::kSize - ModuleParamRecord::kIdentificationSize;

qint32 Word(const QByteArray& bytes, int nAt)
{
    quint32 n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | static_cast<quint8>(bytes[nAt + i]);
    return static_cast<qint32>(n);
}

bool PassesChecks(const QByteArray& bytes)
{
    if (bytes.size() != CParamFile::kSize)
        return false;
    if (bytes.mid(kIdentificationAt, ModuleParamRecord::kIdentificationSize).indexOf('\0') < 0)
        return false;
    // Selected and new address, then unit, decimals, division after a reserved word.
    const int nState = ModuleParamRecord::kSize;
    const auto in = [&](int nWord, int nMax) {
        const qint32 n = Word(bytes, nState + 4 * nWord);
        return n >= 0 && n <= nMax;
    };
    return in(0, 31) && in(1, 31) && in(3, 4) && in(4, 6) && in(5, 6);
}

// The input as the tool writes it back: nothing after the identification's
// end, zeros in the reserved tail.
QByteArray AsKept(QByteArray bytes)
{
    const qsizetype nEnd = bytes.indexOf('\0', kIdentificationAt);
    for (qsizetype i = nEnd; i < ModuleParamRecord::kSize; ++i)
        bytes[i] = '\0';
    for (qsizetype i = CParamFile::kSize - PageDisplayState::kReservedTailSize; i < bytes.size();
         ++i)
        bytes[i] = '\0';
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    const QByteArray bytes = input.Rest();
    ModuleParamRecord record;
    record.m_strIdentification = "untouched";
    PageDisplayState state;
    state.m_nUnit = 3;
    QString strError;
    CParamFile::Refusal refusal = CParamFile::Refusal::None;
    const bool bAccepted = CParamFile::Parse(bytes, record, state, strError, &refusal);
    FUZZ_CHECK(bAccepted == PassesChecks(bytes));
    FUZZ_CHECK(bAccepted == (refusal == CParamFile::Refusal::None));
    FUZZ_CHECK((refusal == CParamFile::Refusal::WrongSize) == (bytes.size() != CParamFile::kSize));
    if (!bAccepted) {
        FUZZ_CHECK(!strError.isEmpty());
        FUZZ_CHECK(record == ModuleParamRecord{.m_strIdentification = "untouched"});
        FUZZ_CHECK(state == PageDisplayState{.m_nUnit = 3});
        return 0;
    }
    const QByteArray exported = record.ToBytes() + state.ToBytes();
    FUZZ_CHECK(exported == AsKept(bytes));

    static const QString strPath = FuzzScratchDir().filePath("params.stp");
    FUZZ_CHECK(CParamFile::Export(strPath, record, state, strError));
    QFile file(strPath);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) &&
               file.readAll() == exported);
    ModuleParamRecord again;
    PageDisplayState stateAgain;
    FUZZ_CHECK(CParamFile::Import(strPath, again, stateAgain, strError));
    FUZZ_CHECK(again == record && stateAgain == state);
    return 0;
}
