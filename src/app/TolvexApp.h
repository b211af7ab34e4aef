#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class CDialogSizer;
class CMainFrame;
class CPtySimulator;
class CQuitSignalWatcher;
class CSession;
class CTolvexView;
class QTranslator;

// Starts the tool: the recording folders, the optional simulator, the main
// window with its view. Keeps them for the whole run.
class CTolvexApp
{
public:
    struct Options
    {
        // --simulate[=ADDRS]: simulated modules on a pseudo-terminal.
        bool m_bSimulate = false;
        QList<int> m_arrSimAddresses{1, 3, 17};
        // --cycle-tabs: select every tab in turn, as a user would, then close.
        bool m_bCycleTabs = false;
    };

    static bool ParseArguments(const QStringList& arrArgs, Options& options, QString& strError);
    static QString Usage();

    CTolvexApp();
    explicit CTolvexApp(const Options& options);
    ~CTolvexApp();

    CTolvexApp(const CTolvexApp&) = delete;
    CTolvexApp& operator=(const CTolvexApp&) = delete;

    // False when the simulator cannot start; the text says why.
    bool InitInstance(QString& strError);
    // Closes the window, then stops the simulator. Safe to call twice.
    void ExitInstance();

    CMainFrame* MainFrame() const { return m_pFrame.get(); }
    CTolvexView* View() const { return m_pView; }
    CSession* Session() const { return m_pSession.get(); }
    CPtySimulator* Simulator() const;
    QString ProgramFolder() const { return m_strProgramFolder; }

    // Qt's own texts (standard buttons, file and print dialogs) in the UI's
    // language, Chinese. False when Qt's translations are not installed.
    bool LoadQtTranslations();

private:
    void CycleTabs(int nTab);

    Options m_options;
    QString m_strProgramFolder;
    std::unique_ptr<QTranslator> m_pQtTranslator;
    std::unique_ptr<CDialogSizer> m_pDialogSizer;
    // The session outlives the window, whose pages work over it.
    std::unique_ptr<CSession> m_pSession;
    std::unique_ptr<CMainFrame> m_pFrame;
    CTolvexView* m_pView = nullptr;
    std::unique_ptr<CQuitSignalWatcher> m_pQuitWatcher;
};

// main() of the tolvex executable.
int RunTolvex(int argc, char** argv);
