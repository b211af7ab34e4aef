#include "TestFiles.h"

#include <QFile>

#include <csignal>

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "<no file " + strPath.toUtf8() + '>';
    return file.readAll();
}

bool WriteFile(const QString& strPath, const QByteArray& bytes)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

CFileSizeLimit::CFileSizeLimit(rlim_t nBytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        return;
    rlimit limit = m_old;
    limit.rlim_cur = nBytes;
    m_bSet = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

CFileSizeLimit::~CFileSizeLimit()
{
    if (m_bSet)
        ::setrlimit(RLIMIT_FSIZE, &m_old);
}
