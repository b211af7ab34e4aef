#pragma once

#include "settings/Reg.h"

#include <QString>

#include <memory>

// Settings values kept scrambled byte by byte in one subkey of a CReg file.
class CParamsManager
{
public:
    static constexpr quint8 kKey = 0x6E;

    CParamsManager();
    virtual ~CParamsManager();

    CParamsManager(const CParamsManager&) = delete;
    CParamsManager& operator=(const CParamsManager&) = delete;

    // Opens the subkey, creating it when it cannot be opened. Always true: a key
    // that cannot be had makes the later reads and writes fail instead.
    bool OpenSettingsKey(const QString& strRootFile, const QString& strSubKey);
    bool WriteSetting(const QString& strName, const void* pData, int nLen);
    // Fails when the value is missing, not binary, or not exactly nLen bytes;
    // pData is left untouched then.
    bool ReadSetting(const QString& strName, void* pData, int& nLen);

    static quint8 Scramble(quint8 byPlain) { return static_cast<quint8>(~(kKey ^ byPlain)); }
    static quint8 Unscramble(quint8 byStored) { return static_cast<quint8>(kKey ^ ~byStored); }

    // $XDG_CONFIG_HOME/Kavro/TolvexSoftware.conf (the platform's per-user
    // configuration folder elsewhere).
    static QString DefaultSettingsFile();

    QString RootFile() const { return m_strRoot; }
    QString SubKey() const { return m_strSubKey; }

private:
    std::unique_ptr<CReg> m_pReg;
    QString m_strRoot;
    QString m_strSubKey;
};
