#include "terminal/ScriptRun.h"

#include "link/PostedCall.h"
#include "module/GbkCodec.h"
#include "terminal/ScriptControlMacroDispatch.h"
#include "terminal/ScriptErrorReport.h"
#include "terminal/vbs/VbsInterpreter.h"

#include <QStringDecoder>

CScriptRun::CScriptRun(CTerminalPort* pPort, QObject* parent)
    : QObject(parent), m_pPort(pPort), m_worker([this] { Body(); })
{
}

CScriptRun::~CScriptRun()
{
    StopAndJoin();
}

bool CScriptRun::RunScript(const QString& strText, Language language)
{
    if (m_bActive.exchange(true))
        return false;
    {
        std::lock_guard lock(m_jobMutex);
        m_strText = strText;
        m_language = language;
    }
    m_worker.Start();
    return true;
}

void CScriptRun::StopScript()
{
    {
        std::lock_guard lock(m_writeGate);
        m_worker.RequestStop();
    }
    m_js.Interrupt();
}

void CScriptRun::StopAndJoin()
{
    StopScript();
    m_worker.StopAndJoin();
}

QString CScriptRun::DecodeScriptFile(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString strText = utf8.decode(bytes);
    if (!utf8.hasError())
        return strText.startsWith(QChar(0xFEFF)) ? strText.mid(1) : strText;
    return CGbkCodec::Decode(bytes);
}

void CScriptRun::Body()
{
    QString strText;
    Language language = Language::JavaScript;
    {
        std::lock_guard lock(m_jobMutex);
        strText = m_strText;
        language = m_language;
    }
    std::optional<ScriptError> error;
    {
        CScriptControlMacroDispatch macro(m_worker, m_writeGate);
        macro.m_pPage = m_pPort;
        error = Execute(strText, language, macro);
    }
    const bool bStopped = m_worker.StopRequested();
    const Outcome outcome =
        bStopped ? Outcome::Stopped : (error ? Outcome::Failed : Outcome::Completed);
    const QString strReport = outcome == Outcome::Failed ? ReportScriptError(*error) : QString();
    // One pass of the body per run: stop before the end is told, so that a run
    // started on hearing it takes the stop back.
    m_worker.RequestStop();
    CPostedCall::Post(this, [this, outcome, strReport] {
        m_bActive = false;
        emit ScriptEnded(outcome, strReport);
    });
}

std::optional<ScriptError> CScriptRun::Execute(const QString& strText, Language language,
                                               CScriptControlMacroDispatch& macro)
{
    if (language == Language::JavaScript)
        return m_js.Run(strText, &macro, m_worker.StopWord());
    CVbsInterpreter vbs;
    if (std::optional<ScriptError> syntaxError = vbs.Compile(strText))
        return syntaxError;
    return vbs.Run(&macro, m_worker.StopWord(),
                   VbsBudget{.nMaxStringChars = kMaxScriptStringChars});
}
