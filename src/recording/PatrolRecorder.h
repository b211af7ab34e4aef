#pragma once

#include "recording/RecordingFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <functional>
#include <mutex>
#include <vector>

// Records the raw values of a patrol, one file per address: "AD%d_%d%d%d_%d%d.sdat"
// (address, year, month, day, hour, minute of the start), 4-byte little-endian
// values without header. A name that is taken is never truncated: the whole
// recording takes the first suffix _2, _3 ... free for all 32 names, claimed by
// creating all 32 files at the start; the files of addresses past the last one
// named are removed again if no value came for them. One mutex guards start,
// append, flush and stop, which come from different threads.
class CPatrolRecorder
{
public:
    static constexpr int kAddresses = 32;

    // A file that could not be created or written. That address stops
    // recording; the others go on.
    struct Failure
    {
        int m_nAddress = 0;
        QString m_strPath;
        int m_nError = 0; // errno
        QString m_strReason;
        bool m_bFirstOfRecording = false;
    };
    using FailureReporter = std::function<void(const Failure& failure)>;

    CPatrolRecorder() = default;
    ~CPatrolRecorder();
    CPatrolRecorder(const CPatrolRecorder&) = delete;
    CPatrolRecorder& operator=(const CPatrolRecorder&) = delete;

    // Called on the thread whose call failed, without the recorder's lock held.
    void SetFailureReporter(FailureReporter reporter);

    // Ends any recording and starts one in strFolder named for tStart; the files
    // of addresses 0..nLastAddress stay even without values. False when a file
    // of those failed; another address's failure is reported with its first
    // value.
    bool Start(const QString& strFolder, int nLastAddress,
               const QDateTime& tStart = QDateTime::currentDateTime());
    // Appends a value to the address's file while recording.
    void Append(int nAddress, qint32 nValue);
    // Hands the buffered values to the system.
    void Flush();
    // Flushes and closes every file.
    void Stop();

    bool IsRecording() const;
    // The path the address's file has in the current or last recording.
    QString FilePath(int nAddress) const;
    // "AD%d_%d%d%d_%d%d" plus "_N" for a suffix above 1, plus ".sdat".
    static QString FileName(int nAddress, const QDateTime& tStart, int nSuffix = 1);

private:
    // Values kept per address before they are handed to the system.
    static constexpr int kBufferBytes = 4096;

    enum class State
    {
        Closed,
        Open,
        // Its file could not be created; told with the first value.
        Unreported,
        Failed
    };
    struct Slot
    {
        State m_state = State::Closed;
        CRecordingFile m_file;
        QByteArray m_pending;
        int m_nError = 0;
    };

    // All run with m_mutex held; failures are collected for reporting after.
    bool ClaimLocked(int nLastAddress, std::vector<Failure>& arrFailures);
    void WriteLocked(int nAddress, std::vector<Failure>& arrFailures);
    void FailLocked(int nAddress, int nError, std::vector<Failure>& arrFailures);
    void CloseAllLocked(std::vector<Failure>& arrFailures);
    QString PathLocked(int nAddress) const;
    void Report(const std::vector<Failure>& arrFailures);

    mutable std::mutex m_mutex;
    bool m_bRecording = false;
    bool m_bFailureReported = false;
    QString m_strFolder;
    QDateTime m_tStart;
    int m_nSuffix = 1;
    std::array<Slot, kAddresses> m_arrSlots;
    std::mutex m_reporterMutex;
    FailureReporter m_reporter;
};
