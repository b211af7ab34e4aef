#include "recording/PatrolFileReader.h"
#include "recording/BoundedRead.h"

#include <QtEndian>

QList<qint32> CPatrolFileReader::Values(const QByteArray& bytes, qsizetype& nTornBytes)
{
    QList<qint32> arrValues;
    arrValues.reserve(bytes.size() / kValueSize);
    for (qsizetype i = 0; i + kValueSize <= bytes.size(); i += kValueSize)
        arrValues.append(qFromLittleEndian<qint32>(bytes.constData() + i));
    nTornBytes = bytes.size() % kValueSize;
    return arrValues;
}

int CPatrolFileReader::Read(const QString& strPath, QList<qint32>& arrValues, qsizetype& nTornBytes)
{
    arrValues.clear();
    nTornBytes = 0;
    QByteArray bytes;
    const int nError = CBoundedRead::Read(strPath, kMaxBytes, CBoundedRead::Longer::Refuse, bytes);
    if (nError == 0)
        arrValues = Values(bytes, nTornBytes);
    return nError;
}
