#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The terminal's archive files "%d%d%d-%d%d%d.txt" (year, month, day, hour,
// minute, second without leading zeros) in the archive folder. A name that is
// taken is never overwritten: the first free of name_2, name_3 … is used.
class CTerminalArchive
{
public:
    enum class Result
    {
        Written,
        CreateFailed,
        WriteFailed,
    };
    struct Outcome
    {
        Result m_result = Result::CreateFailed;
        int m_nError = 0;  // errno of a failed creation or write
        QString m_strPath; // the file written (or tried)
    };

    static QString ArchiveName(const QDateTime& tLocal);
    // Creates a new file for tLocal in strDir (a trailing separator or none)
    // and writes content to it. A file whose write or close failed is removed.
    static Outcome Write(const QString& strDir, const QDateTime& tLocal, const QByteArray& content);
};
