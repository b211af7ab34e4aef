#include "recording/PatrolRecorder.h"

#include "recording/FreeName.h"

#include <QDir>
#include <QtEndian>

#include <cerrno>
#include <cstring>

CPatrolRecorder::~CPatrolRecorder()
{
    std::lock_guard lock(m_mutex);
    std::vector<Failure> arrIgnored;
    CloseAllLocked(arrIgnored);
}

void CPatrolRecorder::SetFailureReporter(FailureReporter reporter)
{
    std::lock_guard lock(m_reporterMutex);
    m_reporter = std::move(reporter);
}

QString CPatrolRecorder::FileName(int nAddress, const QDateTime& tStart, int nSuffix)
{
    const QDate date = tStart.date();
    const QTime time = tStart.time();
    QString strName = QStringLiteral("AD%1_%2%3%4_%5%6")
                          .arg(nAddress)
                          .arg(date.year())
                          .arg(date.month())
                          .arg(date.day())
                          .arg(time.hour())
                          .arg(time.minute());
    if (nSuffix > 1)
        strName += QStringLiteral("_%1").arg(nSuffix);
    return strName + QStringLiteral(".sdat");
}

bool CPatrolRecorder::Start(const QString& strFolder, int nLastAddress, const QDateTime& tStart)
{
    std::vector<Failure> arrFailures;
    bool bAllOpened = true;
    {
        std::lock_guard lock(m_mutex);
        CloseAllLocked(arrFailures);
        m_strFolder = strFolder;
        m_tStart = tStart;
        m_bRecording = true;
        m_bFailureReported = false;
        bAllOpened = ClaimLocked(qMin(nLastAddress, kAddresses - 1), arrFailures);
    }
    Report(arrFailures);
    return bAllOpened;
}

void CPatrolRecorder::Append(int nAddress, qint32 nValue)
{
    if (nAddress < 0 || nAddress >= kAddresses)
        return;
    std::vector<Failure> arrFailures;
    {
        std::lock_guard lock(m_mutex);
        if (!m_bRecording)
            return;
        Slot& slot = m_arrSlots[nAddress];
        if (slot.m_state == State::Unreported)
            FailLocked(nAddress, slot.m_nError, arrFailures);
        if (slot.m_state == State::Open) {
            char bytes[sizeof nValue];
            qToLittleEndian(nValue, bytes);
            slot.m_pending.append(bytes, sizeof bytes);
            if (slot.m_pending.size() >= kBufferBytes)
                WriteLocked(nAddress, arrFailures);
        }
    }
    Report(arrFailures);
}

void CPatrolRecorder::Flush()
{
    std::vector<Failure> arrFailures;
    {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < kAddresses; ++i)
            WriteLocked(i, arrFailures);
    }
    Report(arrFailures);
}

void CPatrolRecorder::Stop()
{
    std::vector<Failure> arrFailures;
    {
        std::lock_guard lock(m_mutex);
        CloseAllLocked(arrFailures);
    }
    Report(arrFailures);
}

bool CPatrolRecorder::IsRecording() const
{
    std::lock_guard lock(m_mutex);
    return m_bRecording;
}

QString CPatrolRecorder::FilePath(int nAddress) const
{
    std::lock_guard lock(m_mutex);
    return PathLocked(nAddress);
}

QString CPatrolRecorder::PathLocked(int nAddress) const
{
    return QDir(m_strFolder).filePath(FileName(nAddress, m_tStart, m_nSuffix));
}

bool CPatrolRecorder::ClaimLocked(int nLastAddress, std::vector<Failure>& arrFailures)
{
    std::array<int, kAddresses> arrErrors{};
    const int nClaimed = CFreeName::Claim([&](int nNumber) {
        m_nSuffix = nNumber;
        for (int i = 0; i < kAddresses; ++i) {
            CRecordingFile& file = m_arrSlots[i].m_file;
            const auto empty =
                i <= nLastAddress ? CRecordingFile::Empty::Keep : CRecordingFile::Empty::Remove;
            arrErrors[i] = file.CreateNew(PathLocked(i), empty) ? 0 : file.Error();
            if (arrErrors[i] == EEXIST) {
                for (int j = 0; j < i; ++j)
                    m_arrSlots[j].m_file.Discard();
                return EEXIST;
            }
        }
        return 0;
    });
    if (nClaimed != 0)
        arrErrors.fill(nClaimed);
    bool bAllOpened = true;
    for (int i = 0; i < kAddresses; ++i) {
        Slot& slot = m_arrSlots[i];
        slot.m_nError = arrErrors[i];
        slot.m_state = arrErrors[i] == 0 ? State::Open : State::Unreported;
        if (slot.m_state == State::Unreported && i <= nLastAddress) {
            FailLocked(i, arrErrors[i], arrFailures);
            bAllOpened = false;
        }
    }
    return bAllOpened;
}

void CPatrolRecorder::WriteLocked(int nAddress, std::vector<Failure>& arrFailures)
{
    Slot& slot = m_arrSlots[nAddress];
    if (slot.m_state != State::Open || slot.m_pending.isEmpty())
        return;
    const bool bWritten = slot.m_file.Write(slot.m_pending);
    slot.m_pending.clear();
    if (!bWritten)
        FailLocked(nAddress, slot.m_file.Error(), arrFailures);
}

void CPatrolRecorder::FailLocked(int nAddress, int nError, std::vector<Failure>& arrFailures)
{
    Slot& slot = m_arrSlots[nAddress];
    slot.m_file.Close();
    slot.m_pending.clear();
    slot.m_state = State::Failed;
    Failure failure;
    failure.m_nAddress = nAddress;
    failure.m_strPath = PathLocked(nAddress);
    failure.m_nError = nError;
    failure.m_strReason = QString::fromLocal8Bit(std::strerror(nError));
    failure.m_bFirstOfRecording = !m_bFailureReported;
    m_bFailureReported = true;
    arrFailures.push_back(failure);
}

void CPatrolRecorder::CloseAllLocked(std::vector<Failure>& arrFailures)
{
    for (int i = 0; i < kAddresses; ++i) {
        WriteLocked(i, arrFailures);
        Slot& slot = m_arrSlots[i];
        if (slot.m_state == State::Open && !slot.m_file.Close())
            FailLocked(i, slot.m_file.Error(), arrFailures);
        slot.m_file.Close();
        slot.m_state = State::Closed;
        slot.m_nError = 0;
    }
    m_bRecording = false;
}

void CPatrolRecorder::Report(const std::vector<Failure>& arrFailures)
{
    if (arrFailures.empty())
        return;
    FailureReporter reporter;
    {
        std::lock_guard lock(m_reporterMutex);
        reporter = m_reporter;
    }
    if (!reporter)
        return;
    for (const Failure& failure : arrFailures)
        reporter(failure);
}
