#include "multi/PatrolRecorder.h"

#include <QDir>
#include <QFile>
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
        // One suffix for every file of the recording, free for all addresses,
        // so that an address joining later finds its name free as well.
        const QDir folder(strFolder);
        for (m_nSuffix = 1;; ++m_nSuffix) {
            bool bFree = true;
            for (int i = 0; i < kAddresses && bFree; ++i)
                bFree = !QFile::exists(folder.filePath(FileName(i, tStart, m_nSuffix)));
            if (bFree)
                break;
        }
        for (int i = 0; i <= qMin(nLastAddress, kAddresses - 1); ++i)
            bAllOpened = OpenLocked(i, arrFailures) && bAllOpened;
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
        // An address that joined after the start gets its file with its first value.
        if (slot.m_state == State::Unopened)
            OpenLocked(nAddress, arrFailures);
        if (slot.m_state == State::Open) {
            const qint32 nLittle = qToLittleEndian(nValue);
            if (std::fwrite(&nLittle, sizeof nLittle, 1, slot.m_pFile) != 1)
                FailLocked(nAddress, errno, arrFailures);
        }
    }
    Report(arrFailures);
}

void CPatrolRecorder::Flush()
{
    std::vector<Failure> arrFailures;
    {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < kAddresses; ++i) {
            Slot& slot = m_arrSlots[i];
            if (slot.m_state == State::Open && std::fflush(slot.m_pFile) != 0)
                FailLocked(i, errno, arrFailures);
        }
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

bool CPatrolRecorder::OpenLocked(int nAddress, std::vector<Failure>& arrFailures)
{
    Slot& slot = m_arrSlots[nAddress];
    // "x": an existing file is never truncated, the open fails instead.
    errno = 0;
    slot.m_pFile = std::fopen(QFile::encodeName(PathLocked(nAddress)).constData(), "wbx");
    if (!slot.m_pFile) {
        FailLocked(nAddress, errno, arrFailures);
        return false;
    }
    slot.m_state = State::Open;
    return true;
}

void CPatrolRecorder::FailLocked(int nAddress, int nError, std::vector<Failure>& arrFailures)
{
    Slot& slot = m_arrSlots[nAddress];
    if (slot.m_pFile) {
        std::fclose(slot.m_pFile);
        slot.m_pFile = nullptr;
    }
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
        Slot& slot = m_arrSlots[i];
        if (slot.m_state == State::Open) {
            const bool bFlushed = std::fflush(slot.m_pFile) == 0;
            const int nError = errno;
            std::fclose(slot.m_pFile);
            slot.m_pFile = nullptr;
            slot.m_state = State::Unopened;
            if (!bFlushed)
                FailLocked(i, nError, arrFailures);
        }
        slot = Slot();
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
