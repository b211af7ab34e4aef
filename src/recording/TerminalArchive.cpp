#include "recording/TerminalArchive.h"

#include "recording/FreeName.h"
#include "recording/RecordingFile.h"

#include <QDir>

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
    const QString strBase = QDir(strDir).filePath(ArchiveName(tLocal).chopped(4));
    CRecordingFile file;
    outcome.m_nError = CFreeName::Claim([&](int nNumber) {
        outcome.m_strPath = strBase + CFreeName::Suffix(nNumber) + QStringLiteral(".txt");
        return file.CreateNew(outcome.m_strPath, CRecordingFile::Empty::Keep) ? 0 : file.Error();
    });
    if (outcome.m_nError != 0)
        return outcome;
    if (file.Write(content) && file.Close()) {
        outcome.m_result = Result::Written;
        return outcome;
    }
    outcome.m_nError = file.Error();
    file.Discard();
    outcome.m_result = Result::WriteFailed;
    return outcome;
}
