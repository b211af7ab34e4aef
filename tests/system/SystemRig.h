#pragma once

#include "app/TolvexApp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

// One system test's own working folder, with the settings folder inside it,
// made current while the rig lives; and the whole tool started in it on its
// simulated bus.
class CSystemRig
{
public:
    CSystemRig() : m_strOldCwd(QDir::currentPath())
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        QDir::setCurrent(m_dir.path());
    }
    ~CSystemRig() { QDir::setCurrent(m_strOldCwd); }

    CSystemRig(const CSystemRig&) = delete;
    CSystemRig& operator=(const CSystemRig&) = delete;

    bool IsValid() const { return m_dir.isValid(); }
    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString& strName) const { return m_dir.filePath(strName); }

    // Null, with the reason in strError, when the tool could not start.
    static std::unique_ptr<CTolvexApp> StartSimulated(QString& strError)
    {
        CTolvexApp::Options options;
        options.m_bSimulate = true;
        auto pApp = std::make_unique<CTolvexApp>(options);
        if (!pApp->InitInstance(strError))
            pApp.reset();
        return pApp;
    }

private:
    QTemporaryDir m_dir;
    QString m_strOldCwd;
};
