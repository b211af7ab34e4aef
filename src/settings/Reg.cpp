#include "settings/Reg.h"

#include "settings/SettingsSetAside.h"

#include <QSettings>

CReg::CReg(const QString& strRootFile) : m_strRoot(strRootFile) {}

CReg::~CReg() = default;

bool CReg::Open(const QString& strSubKey)
{
    return OpenKey(strSubKey, false);
}

bool CReg::Create(const QString& strSubKey)
{
    return OpenKey(strSubKey, true);
}

bool CReg::OpenKey(const QString& strSubKey, bool bCreate)
{
    Close();
    if (!CSettingsSetAside::IsUsable(m_strRoot))
        return false;
    auto pKey = std::make_unique<QSettings>(m_strRoot, QSettings::IniFormat);
    if (pKey->status() != QSettings::NoError || !pKey->isWritable())
        return false;
    const QStringList groups = strSubKey.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& strGroup : groups) {
        // An INI group exists only once it holds a value, so creating one
        // needs no write of its own.
        if (!bCreate && !pKey->childGroups().contains(strGroup))
            return false;
        pKey->beginGroup(strGroup);
    }
    m_pKey = std::move(pKey);
    return true;
}

bool CReg::SetBinaryValue(const QString& strName, const QByteArray& data)
{
    if (!m_pKey)
        return false;
    m_pKey->setValue(strName, data);
    m_pKey->sync();
    return m_pKey->status() == QSettings::NoError;
}

bool CReg::QueryValue(const QString& strName, QByteArray& data) const
{
    if (!m_pKey)
        return false;
    const QVariant value = m_pKey->value(strName);
    // Only a byte array is a binary value; text typed into the file is not.
    if (value.typeId() != QMetaType::QByteArray)
        return false;
    data = value.toByteArray();
    return true;
}

void CReg::Close()
{
    m_pKey.reset();
}
