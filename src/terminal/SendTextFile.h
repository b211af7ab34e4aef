#pragma once

#include <QByteArray>
#include <QString>

// "Comassist.dat": the terminal's send text, plain GBK text with CR LF line
// ends, no header. The text is handled with '\n' line breaks; a last line
// without a line end stays without one. Saving replaces the file atomically,
// so a failed save leaves the previous text.
class CSendTextFile
{
public:
    static constexpr const char* kFileName = "Comassist.dat";
    // A longer file, or anything but a regular file, is not read.
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

    explicit CSendTextFile(const QString& strDir);

    QString Path() const { return m_strPath; }

    // Reads the send text; a missing file is created empty. False (and an
    // empty text) when the file cannot be read or created, is longer than
    // kMaxBytes or is not a regular file (never waiting on a FIFO).
    bool Load(QString& strText);
    bool Save(const QString& strText);
    QString ErrorText() const { return m_strError; }

    // File bytes to text: any of CR LF, LF, CR ends a line.
    static QString FromFileBytes(const QByteArray& bytes);
    static QByteArray ToFileBytes(const QString& strText);

private:
    QString m_strPath;
    QString m_strError;
};
