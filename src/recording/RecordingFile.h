#pragma once

#include "recording/WeightRecord.h"

#include <QByteArray>
#include <QString>

// One recording file held open for writing under an exclusive lock (flock),
// which readers respect: nobody reads a file while it is being recorded.
// Every write goes straight to the file. A write that fails or ends short is
// cut back to the end of the last whole write, so what follows stays aligned.
// Not thread-safe: one writer thread per file.
class CRecordingFile
{
public:
    CRecordingFile() = default;
    ~CRecordingFile();
    CRecordingFile(const CRecordingFile&) = delete;
    CRecordingFile& operator=(const CRecordingFile&) = delete;

    // What Close does with a file this object created that is still empty.
    enum class Empty
    {
        Remove,
        Keep,
    };

    // Creates strPath only when no such name exists (EEXIST otherwise): a
    // name is claimed atomically, also against another running tool.
    bool CreateNew(const QString& strPath, Empty empty = Empty::Remove);
    // A file the user named: created, or truncated when it exists and nobody
    // records into it. Write-only.
    bool CreateOrTruncate(const QString& strPath);

    bool IsOpen() const { return m_nFd >= 0; }
    QString Path() const { return m_strPath; }
    // Bytes written so far (the file's length while it is open).
    qint64 Size() const { return m_nSize; }

    // Writes all bytes or none: false with the file as before this call.
    bool Write(const char* pBytes, qint64 nLength);
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    bool AppendRecord(const WeightRecord& record);

    // errno of the latest failure (an open or a write), 0 if none.
    int Error() const { return m_nError; }
    // errno of this file's first failure, once: later calls give 0, so a
    // recording shows one box, not one per value.
    int TakeFailureToReport();

    // Closes; a file this object created that is still empty is deleted
    // unless it was created to be kept. False when the system's close failed.
    bool Close();
    // Closes and deletes a file this object created, whatever it holds.
    void Discard();

private:
    bool Open(const QString& strPath, int nFlags, Empty empty);
    void Fail(int nError);

    int m_nFd = -1;
    QString m_strPath;
    qint64 m_nSize = 0;
    bool m_bCreated = false;
    Empty m_empty = Empty::Remove;
    int m_nError = 0;
    int m_nFirstError = 0;
    bool m_bReported = false;
};
