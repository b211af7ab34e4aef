#pragma once

#include "app/MainFrame.h"
#include "app/TabSheet.h"
#include "app/TolvexApp.h"
#include "app/TolvexView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// A test's own working folder with the settings folder ($XDG_CONFIG_HOME)
// inside it, current while the object lives.
class CTempSettings
{
public:
    CTempSettings() : m_strOldCwd(QDir::currentPath())
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        QDir::setCurrent(m_dir.path());
    }
    ~CTempSettings() { QDir::setCurrent(m_strOldCwd); }

    CTempSettings(const CTempSettings&) = delete;
    CTempSettings& operator=(const CTempSettings&) = delete;

    bool IsValid() const { return m_dir.isValid(); }
    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString& strName) const { return m_dir.filePath(strName); }
    QString SettingsFile() const
    {
        return m_dir.filePath(QStringLiteral("config/Kavro/TolvexSoftware.conf"));
    }

private:
    QTemporaryDir m_dir;
    QString m_strOldCwd;
};

// Threads of this process, by id, with their names.
inline QMap<QString, QString> Threads()
{
    QMap<QString, QString> mapThreads;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strId : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(strId + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            mapThreads.insert(strId, QString::fromLocal8Bit(comm.readAll()).trimmed());
    }
    return mapThreads;
}

// Threads started since mapBefore that still run. Qt's global pool keeps idle
// threads for half a minute; they are not ours and do not count.
inline QStringList NewThreads(const QMap<QString, QString>& mapBefore)
{
    QStringList arrNew;
    const QMap<QString, QString> mapNow = Threads();
    for (auto it = mapNow.begin(); it != mapNow.end(); ++it)
        if (!mapBefore.contains(it.key()) && it.value() != QLatin1String("Thread (pooled)"))
            arrNew.append(it.value());
    return arrNew;
}

// The whole tool on its simulated bus, shown, with tab nTab clicked as a user
// would. Null, with the reason in strError, when it could not start.
inline std::unique_ptr<CTolvexApp> StartOnTab(int nTab, QString& strError,
                                              const QList<int>& arrAddresses = {1, 3, 17})
{
    CTolvexApp::Options options;
    options.m_bSimulate = true;
    options.m_arrSimAddresses = arrAddresses;
    auto pApp = std::make_unique<CTolvexApp>(options);
    if (!pApp->InitInstance(strError))
        return nullptr;
    if (!QTest::qWaitForWindowExposed(pApp->MainFrame())) {
        strError = QStringLiteral("the window was never shown");
        return nullptr;
    }
    QTabBar* pBar = pApp->View()->TabSheet()->TabBar();
    if (nTab != pBar->currentIndex())
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->tabRect(nTab).center());
    if (pApp->View()->TabSheet()->CurrentPage() != nTab) {
        strError = QStringLiteral("tab %1 did not show").arg(nTab);
        return nullptr;
    }
    return pApp;
}

// Runs fnAct on the next modal dialog of type T once it is up.
template <typename T> void OnNextModal(std::function<void(T*)> fnAct)
{
    auto* pTimer = new QTimer(qApp);
    pTimer->setInterval(20);
    QObject::connect(pTimer, &QTimer::timeout, qApp, [pTimer, fnAct] {
        if (auto* pDialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            fnAct(pDialog);
        }
    });
    pTimer->start();
}
