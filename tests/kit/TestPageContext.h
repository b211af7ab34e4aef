#pragma once

#include "link/BusLink.h"
#include "sim/PtySimulator.h"
#include "uikit/PageContext.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <mutex>

// A page's window for page tests: a bus link on a simulator pseudo-terminal,
// a temporary program folder, and status texts and message boxes recorded
// instead of shown. With a link path the link opens the simulator through
// a symbolic link there, a name that stays when the simulator is restarted.
class CTestPageContext : public CPageContext
{
public:
    explicit CTestPageContext(const SimOptions& options = SimOptions(),
                              const QString& strLinkPath = QString());
    ~CTestPageContext() override;

    CBusLink& BusLink() override { return *m_pLink; }
    PlotSettings GetPlotSettings() const override { return m_plotSettings; }
    QBrush BackgroundBrush() const override { return m_brBackground; }
    QString ProgramDirectory() const override { return m_strProgramDir; }

    CPtySimulator& Simulator() { return *m_pSimulator; }
    QString Device() const { return m_strDevice; }
    void SetProgramDirectory(const QString& strDir) { m_strProgramDir = strDir; }

    // What the page showed, oldest first.
    QStringList StatusTexts() const;
    QStringList Messages() const;
    void ClearRecorded();
    // Runs when a message box would be shown, on the UI thread (after it is
    // recorded): a test may answer or inspect there.
    void SetMessageHook(std::function<void(const QString&)> hook)
    {
        m_messageHook = std::move(hook);
    }

    PlotSettings m_plotSettings;
    QBrush m_brBackground{QColor(0xB0, 0xC0, 0xFF)};

protected:
    void DoSetStatusText(const QString& strText) override;
    void DoShowMessage(const QString& strText) override;

private:
    std::unique_ptr<CPtySimulator> m_pSimulator;
    std::unique_ptr<CBusLink> m_pLink;
    QTemporaryDir m_programDir;
    QString m_strProgramDir;
    QString m_strDevice;
    mutable std::mutex m_mutex;
    QStringList m_arrStatus;
    QStringList m_arrMessages;
    std::function<void(const QString&)> m_messageHook;
};
