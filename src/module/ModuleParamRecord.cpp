#include "module/ModuleParamRecord.h"

#include "module/LittleEndianReader.h"
#include "module/LittleEndianWriter.h"
#include "module/ParameterTable.h"

qint32* ModuleParamRecord::Field(const char* pszMnemonic)
{
    const CParameterTable::Parameter* pParameter = CParameterTable::Find(pszMnemonic);
    return pParameter && pParameter->m_pField ? &(this->*pParameter->m_pField) : nullptr;
}

const qint32* ModuleParamRecord::Field(const char* pszMnemonic) const
{
    return const_cast<ModuleParamRecord*>(this)->Field(pszMnemonic);
}

QByteArray ModuleParamRecord::ToBytes() const
{
    CLittleEndianWriter writer;
    for (qint32 n : {m_nCof, m_nTav, m_nNov, m_nReserved12, m_nZse, m_nReserved20, m_nZtr,
                     m_nZts, m_nAsf, m_nCoc, m_nAdi,        m_nLdw, m_nLwt,        m_nFmd,
                     m_nIcr, m_nStr, m_nCsm, m_nRln,        m_nRle, m_nRlcIndex})
        writer.Put(n);
    writer.Put(m_arrRlc);
    writer.Put(m_nManualMeasuredCount);
    writer.Put(m_arrManualMeasured);
    writer.Put(m_nManualWeightCount);
    writer.Put(m_arrManualWeight);
    writer.Put(m_nChp);
    writer.Put(m_nGan);
    QByteArray text = m_strIdentification.left(kIdentificationSize - 1);
    text.resize(kIdentificationSize, '\0');
    writer.PutBytes(text);
    return writer.Bytes();
}

bool ModuleParamRecord::FromBytes(const QByteArray& bytes, ModuleParamRecord& record)
{
    if (bytes.size() != kSize)
        return false;
    const QByteArray text = bytes.right(kIdentificationSize);
    const qsizetype nZero = text.indexOf('\0');
    if (nZero < 0)
        return false;
    CLittleEndianReader reader(bytes);
    ModuleParamRecord r;
    for (qint32* pn :
         {&r.m_nCof, &r.m_nTav, &r.m_nNov, &r.m_nReserved12, &r.m_nZse, &r.m_nReserved20, &r.m_nZtr,
          &r.m_nZts, &r.m_nAsf, &r.m_nCoc, &r.m_nAdi,        &r.m_nLdw, &r.m_nLwt,        &r.m_nFmd,
          &r.m_nIcr, &r.m_nStr, &r.m_nCsm, &r.m_nRln,        &r.m_nRle, &r.m_nRlcIndex})
        *pn = reader.Take();
    reader.Take(r.m_arrRlc);
    r.m_nManualMeasuredCount = reader.Take();
    reader.Take(r.m_arrManualMeasured);
    r.m_nManualWeightCount = reader.Take();
    reader.Take(r.m_arrManualWeight);
    r.m_nChp = reader.Take();
    r.m_nGan = reader.Take();
    r.m_strIdentification = text.left(nZero);
    record = r;
    return true;
}
