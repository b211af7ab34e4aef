#include "terminal/JsScript.h"

#include "terminal/ScriptErrorReport.h"

#include <QJSEngine>
#include <QMetaMethod>

namespace {

// A frame of the engine's stack trace reads "function:line:column:file";
// a column of -1 means none. A syntax error's frame has no function name.
struct TraceFrame
{
    QString strFunction;
    unsigned nLine = 0;
    unsigned nColumn = 0;
};

TraceFrame ParseFrame(const QString& strFrame)
{
    const QStringList arrParts = strFrame.split(QLatin1Char(':'));
    TraceFrame frame;
    frame.strFunction = arrParts.value(0);
    frame.nLine = static_cast<unsigned>(qMax(0, arrParts.value(1).toInt()));
    frame.nColumn = static_cast<unsigned>(qMax(0, arrParts.value(2).toInt()));
    return frame;
}

} // namespace

std::optional<ScriptError> CJsScript::Run(const QString& strText, QObject* pMacro,
                                          const std::atomic<bool>& bStop)
{
    QJSEngine engine;
    QJSEngine::setObjectOwnership(pMacro, QJSEngine::CppOwnership);
    // Only the invokable methods reach the script: not QObject's own members
    // (deleteLater, objectName) that a wrapped object would show.
    const QJSValue wrapped = engine.newQObject(pMacro);
    QJSValue macro = engine.newObject();
    QJSValue global = engine.globalObject();
    const QMetaObject* pMeta = pMacro->metaObject();
    for (int i = pMeta->methodOffset(); i < pMeta->methodCount(); ++i) {
        const QMetaMethod method = pMeta->method(i);
        if (method.methodType() != QMetaMethod::Method)
            continue;
        const QString strName = QString::fromLatin1(method.name());
        macro.setProperty(strName, wrapped.property(strName));
        global.setProperty(strName, wrapped.property(strName));
    }
    global.setProperty(QStringLiteral("ScriptControlMacro"), macro);
    {
        std::lock_guard lock(m_mutex);
        m_pEngine = &engine;
        if (bStop.load())
            engine.setInterrupted(true);
    }

    QStringList arrTrace;
    const QJSValue result = engine.evaluate(strText, QString(), 1, &arrTrace);
    {
        std::lock_guard lock(m_mutex);
        m_pEngine = nullptr;
    }
    if (bStop.load() || (!result.isError() && arrTrace.isEmpty()))
        return std::nullopt;

    const TraceFrame frame = ParseFrame(arrTrace.value(0));
    ScriptError error;
    error.nNumber = kRunTimeError;
    error.nLine = frame.nLine;
    error.nColumn = frame.nColumn;
    if (result.isError()) {
        error.strSource = result.property(QStringLiteral("name")).toString();
        error.strDescription = result.property(QStringLiteral("message")).toString();
        const int nLine = result.property(QStringLiteral("lineNumber")).toInt();
        if (nLine > 0)
            error.nLine = static_cast<unsigned>(nLine);
        if (error.strSource == QLatin1String("SyntaxError") && frame.strFunction.isEmpty())
            error.nNumber = kSyntaxError;
    } else {
        // A thrown value that is no error object.
        error.strDescription = result.toString();
    }
    error.strCode = ScriptSourceLine(strText, error.nLine);
    return error;
}

void CJsScript::Interrupt()
{
    std::lock_guard lock(m_mutex);
    if (m_pEngine != nullptr)
        m_pEngine->setInterrupted(true);
}
