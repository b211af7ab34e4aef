#pragma once

#include "link/WorkerThread.h"
#include "terminal/JsScript.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

class CTerminalPort;
class CScriptControlMacroDispatch;

// Runs one macro script at a time on its own thread, through the terminal's
// port layer. The engine and the macro object are made and destroyed on that
// thread; the whole text is compiled before any of it runs. The end reaches
// the owner's thread as ScriptEnded.
class CScriptRun : public QObject
{
    Q_OBJECT
public:
    enum class Language
    {
        JavaScript,
        VBScript
    };
    enum class Outcome
    {
        Completed,
        Failed,
        Stopped
    };
    Q_ENUM(Outcome)

    // The characters all strings of a VBScript run may hold at once (128 MiB):
    // four of the longest string a script may build. A macro runs as long as
    // it likes, so its steps are not limited.
    static constexpr qsizetype kMaxScriptStringChars = 64 * 1024 * 1024;

    // pPort may be null: the macros' writes then return false.
    explicit CScriptRun(CTerminalPort* pPort, QObject* parent = nullptr);
    ~CScriptRun() override;

    // Owner's thread. Starts a run of strText; false, starting nothing, while
    // one is going (from this call until its ScriptEnded).
    bool RunScript(const QString& strText, Language language);
    // Any thread but a signal handler: the run ends at its next statement or
    // instruction; a Delay, a pause or a wait for the port ends at once, and
    // nothing is written after this returns.
    void StopScript();
    // Stops the run and waits for its thread.
    void StopAndJoin();
    bool IsRunning() const { return m_bActive.load(); }

    // A script file's text: UTF-8 when it decodes as UTF-8 (a BOM is
    // skipped), else code page 936.
    static QString DecodeScriptFile(const QByteArray& bytes);

Q_SIGNALS:
    // strReport is ReportScriptError's text when the run failed, else empty.
    void ScriptEnded(CScriptRun::Outcome outcome, const QString& strReport);

private:
    void Body();
    std::optional<ScriptError> Execute(const QString& strText, Language language,
                                       CScriptControlMacroDispatch& macro);

    CTerminalPort* m_pPort;
    std::mutex m_jobMutex; // the text and language handed to the thread
    QString m_strText;
    Language m_language = Language::JavaScript;
    std::mutex m_writeGate;
    CJsScript m_js;
    std::atomic<bool> m_bActive{false};
    CWorkerThread m_worker; // last: stopped and joined before the rest goes
};
