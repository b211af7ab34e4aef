#include "recording/RealTimeRecording.h"

#include "recording/FreeName.h"
#include "recording/MakeFolders.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <ctime>

CRealTimeRecording::CRealTimeRecording(Clock clock) : m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

CRealTimeRecording::~CRealTimeRecording()
{
    Close();
}

QString CRealTimeRecording::DataFolder(const QString& strProgramDir)
{
    return strProgramDir + QStringLiteral("数据文件");
}

QString CRealTimeRecording::TextFolder(const QString& strProgramDir)
{
    return strProgramDir + QStringLiteral("文本文件");
}

QString CRealTimeRecording::BaseName(qint64 nUnixMs)
{
    std::time_t tSeconds = std::time_t(nUnixMs / 1000);
    if (nUnixMs % 1000 < 0)
        --tSeconds;
    std::tm tmLocal{};
    if (!localtime_r(&tSeconds, &tmLocal))
        return QStringLiteral("0_0_0");
    return QStringLiteral("%1%2%3_%4_%5_%6")
        .arg(tmLocal.tm_year + 1900)
        .arg(tmLocal.tm_mon + 1)
        .arg(tmLocal.tm_mday)
        .arg(tmLocal.tm_hour)
        .arg(tmLocal.tm_min)
        .arg(tmLocal.tm_sec);
}

bool CRealTimeRecording::Open(const QString& strProgramDir)
{
    Close();
    m_nFirstError = 0;
    m_bReported = false;
    const QString strDataFolder = DataFolder(strProgramDir);
    const QString strTextFolder = TextFolder(strProgramDir);
    if (const int nFolderError = MakeFolders(QFile::encodeName(strDataFolder), 0777);
        nFolderError != 0) {
        Fail(nFolderError);
        return false;
    }
    // The values still go to the data file; the text folder's failure is shown.
    if (const int nFolderError = MakeFolders(QFile::encodeName(strTextFolder), 0777);
        nFolderError != 0)
        Fail(nFolderError);
    const QString strBase = BaseName(m_clock());
    const int nError = CFreeName::Claim([&](int nNumber) {
        const QString strName = strBase + CFreeName::Suffix(nNumber);
        if (!m_dataFile.CreateNew(strDataFolder + QLatin1Char('/') + strName +
                                  QStringLiteral(".Dat")))
            return m_dataFile.Error();
        if (m_textFile.CreateNew(strTextFolder + QLatin1Char('/') + strName +
                                 QStringLiteral(".txt")))
            return 0;
        const int nTextError = m_textFile.Error();
        if (nTextError == EEXIST) {
            m_dataFile.Close(); // empty, so removed: the name goes back
            return EEXIST;
        }
        // The values still go to the data file; the text file's failure is shown.
        Fail(nTextError);
        return 0;
    });
    if (nError == 0)
        return true;
    Fail(nError);
    return false;
}

bool CRealTimeRecording::Append(qint32 nValue)
{
    const qint64 nNow = m_clock();
    if (!m_dataFile.AppendRecord(WeightRecord::Make(nValue, nNow))) {
        Fail(m_dataFile.Error());
        return false;
    }
    if (!m_textFile.IsOpen())
        return false;
    if (!m_textFile.Write(WeightRecord::TextLine(nValue, nNow))) {
        Fail(m_textFile.Error());
        return false;
    }
    return true;
}

void CRealTimeRecording::Close()
{
    m_dataFile.Close();
    m_textFile.Close();
}

int CRealTimeRecording::TakeFailureToReport()
{
    if (m_bReported || m_nFirstError == 0)
        return 0;
    m_bReported = true;
    return m_nFirstError;
}

void CRealTimeRecording::Fail(int nError)
{
    if (m_nFirstError == 0)
        m_nFirstError = nError;
}
