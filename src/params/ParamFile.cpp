#include "params/ParamFile.h"

#include "recording/BoundedRead.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

bool CParamFile::Export(const QString& strPath, const ModuleParamRecord& record,
                        const PageDisplayState& state, QString& strError)
{
    // Unbuffered, so that a short write (full disk, size limit) shows in
    // write()'s count: a buffered flush would report it as success.
    QSaveFile file(strPath);
    const QByteArray bytes = record.ToBytes() + state.ToBytes();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        strError = file.errorString();
        return false;
    }
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int nError = errno;
        strError = nError != 0 ? QString::fromLocal8Bit(std::strerror(nError)) : file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        strError = file.errorString();
        return false;
    }
    return true;
}

bool CParamFile::Import(const QString& strPath, ModuleParamRecord& record, PageDisplayState& state,
                        QString& strError, Refusal* pRefusal)
{
    Refusal refusal = Refusal::None;
    if (!pRefusal)
        pRefusal = &refusal;
    *pRefusal = Refusal::Unreadable;
    // One byte more than a file holds tells a long file from a whole one;
    // a FIFO, device or folder is refused without waiting on it.
    QByteArray bytes;
    if (const int nError = CBoundedRead::Read(strPath, kSize + 1, CBoundedRead::Longer::Cut, bytes);
        nError != 0) {
        strError = CBoundedRead::ErrorText(nError, kSize + 1);
        return false;
    }
    return Parse(bytes, record, state, strError, pRefusal);
}

bool CParamFile::Parse(const QByteArray& bytes, ModuleParamRecord& record, PageDisplayState& state,
                       QString& strError, Refusal* pRefusal)
{
    Refusal refusal = Refusal::None;
    if (!pRefusal)
        pRefusal = &refusal;
    *pRefusal = Refusal::None;
    if (bytes.size() != kSize) {
        *pRefusal = Refusal::WrongSize;
        strError = QStringLiteral("not a parameter file: %1 bytes instead of %2")
                       .arg(bytes.size())
                       .arg(kSize);
        return false;
    }
    ModuleParamRecord newRecord;
    if (!ModuleParamRecord::FromBytes(bytes.left(ModuleParamRecord::kSize), newRecord)) {
        *pRefusal = Refusal::NoIdentificationEnd;
        strError = QStringLiteral("not a parameter file: the identification text has no end");
        return false;
    }
    PageDisplayState newState;
    PageDisplayState::FromBytes(bytes.mid(ModuleParamRecord::kSize), newState);
    const QString strRange = newState.CheckRanges();
    if (!strRange.isEmpty()) {
        *pRefusal = Refusal::OutOfRange;
        strError = QStringLiteral("not a parameter file: %1").arg(strRange);
        return false;
    }
    record = newRecord;
    state = newState;
    return true;
}
