#include "settings/ParamsManager.h"

#include "recording/ByteNamedFolder.h"

#include <QDir>
#include <QStandardPaths>

#include <cstring>

CParamsManager::CParamsManager() = default;

CParamsManager::~CParamsManager() = default;

bool CParamsManager::OpenSettingsKey(const QString& strRootFile, const QString& strSubKey)
{
    m_strRoot = strRootFile;
    m_strSubKey = strSubKey;
    m_pReg = std::make_unique<CReg>(strRootFile);
    if (!m_pReg->Open(strSubKey))
        m_pReg->Create(strSubKey);
    return true;
}

bool CParamsManager::WriteSetting(const QString& strName, const void* pData, int nLen)
{
    if (!m_pReg || nLen < 0 || (nLen > 0 && !pData))
        return false;
    QByteArray stored(static_cast<const char*>(pData), nLen);
    for (char& c : stored)
        c = static_cast<char>(Scramble(static_cast<quint8>(c)));
    return m_pReg->SetBinaryValue(strName, stored);
}

bool CParamsManager::ReadSetting(const QString& strName, void* pData, int& nLen)
{
    if (!m_pReg || nLen < 0 || (nLen > 0 && !pData))
        return false;
    QByteArray stored;
    if (!m_pReg->QueryValue(strName, stored) || stored.size() != nLen)
        return false;
    for (char& c : stored)
        c = static_cast<char>(Unscramble(static_cast<quint8>(c)));
    if (nLen > 0)
        std::memcpy(pData, stored.constData(), static_cast<size_t>(nLen));
    return true;
}

QString CParamsManager::DefaultSettingsFile()
{
    // On Linux this folder honours XDG_CONFIG_HOME and falls back to ~/.config.
    const QString strBase = CByteNamedFolder::UserFolder(
        "XDG_CONFIG_HOME", ".config", QString(),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return QDir(strBase).filePath(QStringLiteral("Kavro/TolvexSoftware.conf"));
}
