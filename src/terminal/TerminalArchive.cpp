#include "terminal/TerminalArchive.h"

#include <QDir>
#include <QFile>

#include <cerrno>

namespace {
constexpr int kMaxSuffix = 10000;
}

QString CTerminalArchive::ArchiveName(const QDateTime& tLocal)
{
    const QDate date = tLocal.date();
    const QTime time = tLocal.time();
    return QString::asprintf("%d%d%d-%d%d%d.txt", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second());
}

CTerminalArchive::Outcome CTerminalArchive::Write(const QString& strDir, const QDateTime& tLocal,
                                                  const QByteArray& content)
{
    Outcome outcome;
    const QString strName = ArchiveName(tLocal);
    const QString strBase = QDir(strDir).filePath(strName.chopped(4));
    QFile file;
    for (int n = 1; n <= kMaxSuffix; ++n) {
        outcome.m_strPath = n == 1 ? strBase + QStringLiteral(".txt")
                                   : QStringLiteral("%1_%2.txt").arg(strBase).arg(n);
        file.setFileName(outcome.m_strPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (!QFile::exists(outcome.m_strPath))
            return outcome;
    }
    if (!file.isOpen())
        return outcome;

    errno = 0;
    bool bWritten = file.write(content) == content.size();
    int nError = bWritten ? 0 : errno;
    if (bWritten) {
        file.close();
        bWritten = file.error() == QFileDevice::NoError;
        nError = bWritten ? 0 : errno;
    } else {
        file.close();
    }
    if (!bWritten) {
        file.remove();
        outcome.m_result = Result::WriteFailed;
        outcome.m_nError = nError != 0 ? nError : EIO;
        return outcome;
    }
    outcome.m_result = Result::Written;
    return outcome;
}
