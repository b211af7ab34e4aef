#pragma once

#include "recording/RecordingFile.h"

#include <QString>

#include <functional>

// The recording of the real-time page: a data file in "数据文件" and a text
// file in "文本文件" of the program folder, named from the local time the
// recording starts ("%d%d%d_%d_%d_%d"). A name taken in either folder moves
// both files on to the first free "_2", "_3", …, so the two names differ only
// in folder and extension and no earlier recording is ever truncated.
class CRealTimeRecording
{
public:
    // Milliseconds since 1970 UTC; the system clock unless a test sets another.
    using Clock = std::function<qint64()>;

    explicit CRealTimeRecording(Clock clock = Clock());
    ~CRealTimeRecording();
    CRealTimeRecording(const CRealTimeRecording&) = delete;
    CRealTimeRecording& operator=(const CRealTimeRecording&) = delete;

    static QString DataFolder(const QString& strProgramDir);
    static QString TextFolder(const QString& strProgramDir);
    // "%d%d%d_%d_%d_%d" of the local time of nUnixMs, no leading zeros.
    static QString BaseName(qint64 nUnixMs);

    // Makes missing folders again and claims the pair named after now. A
    // failure is kept for TakeFailureToReport; the values that follow fail too.
    bool Open(const QString& strProgramDir);
    // One value stamped now: the record, then, if that was written, its line.
    bool Append(qint32 nValue);
    // Closes both files; an empty one is deleted.
    void Close();

    // errno of the recording's first failure (a failed open counts), once;
    // 0 when there is none or it was already taken.
    int TakeFailureToReport();

    QString DataPath() const { return m_dataFile.Path(); }
    QString TextPath() const { return m_textFile.Path(); }
    bool IsOpen() const { return m_dataFile.IsOpen(); }

private:
    void Fail(int nError);

    Clock m_clock;
    CRecordingFile m_dataFile;
    CRecordingFile m_textFile;
    int m_nFirstError = 0;
    bool m_bReported = false;
};
