#include "terminal/SendTextFile.h"

#include "module/GbkCodec.h"
#include "recording/BoundedRead.h"

#include <QDir>
#include <QSaveFile>

CSendTextFile::CSendTextFile(const QString& strDir)
    : m_strPath(QDir(strDir).filePath(QString::fromLatin1(kFileName)))
{
}

bool CSendTextFile::Load(QString& strText)
{
    strText.clear();
    QByteArray bytes;
    if (const int nError = CBoundedRead::Read(m_strPath, kMaxBytes, CBoundedRead::Longer::Refuse,
                                              bytes, O_RDWR | O_CREAT);
        nError != 0) {
        m_strError = CBoundedRead::ErrorText(nError, kMaxBytes);
        return false;
    }
    strText = FromFileBytes(bytes);
    return true;
}

bool CSendTextFile::Save(const QString& strText)
{
    QSaveFile file(m_strPath);
    // Unbuffered: a short write (disk full, size limit) shows in write()'s
    // count; a buffered one can be lost at commit without an error.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_strError = file.errorString();
        return false;
    }
    const QByteArray bytes = ToFileBytes(strText);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        m_strError = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString CSendTextFile::FromFileBytes(const QByteArray& bytes)
{
    QString strText = CGbkCodec::Decode(bytes);
    strText.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    strText.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return strText;
}

QByteArray CSendTextFile::ToFileBytes(const QString& strText)
{
    QString strLines = strText;
    strLines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    strLines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return CGbkCodec::Encode(strLines);
}
