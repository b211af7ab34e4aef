// The VBScript macros: a script file's bytes decoded, compiled and run under
// small budgets, with a macro object that never waits and touches no bus.
// Whatever the text, the run ends; an error carries its number, a line of
// the text and a column, and the text of that line.
#include "FuzzInput.h"

#include "terminal/vbs/ScriptText.h"
#include "terminal/vbs/VbsInterpreter.h"

#include <QObject>

namespace {

class CIdleMacro : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool Send(const QString& strText) { return Count(strText.size()); }
    Q_INVOKABLE bool SendHex(const QString& strText) { return Count(strText.size()); }
    Q_INVOKABLE void Delay(int nMs) { Count(nMs); }
    Q_INVOKABLE void BusScan(int nLast) { Count(nLast); }

    qint64 m_nCalls = 0;

private:
    bool Count(qint64 n)
    {
        ++m_nCalls;
        return n >= 0;
    }
};

// Lines as the lexer counts them: a lone CR, a lone LF or CR LF ends one.
QStringList Lines(const QString& strText)
{
    QString str = strText;
    str.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return str.split(u'\n');
}

void CheckError(const ScriptError& error, const QString& strText)
{
    const QStringList arrLines = Lines(strText);
    FUZZ_CHECK(error.nNumber != 0 && !error.strDescription.isEmpty());
    FUZZ_CHECK(error.nLine >= 1 && error.nLine <= unsigned(arrLines.size()));
    FUZZ_CHECK(error.nColumn >= 1);
    FUZZ_CHECK(error.strCode == arrLines[int(error.nLine) - 1]);
    FUZZ_CHECK(error.nColumn <= unsigned(error.strCode.size()) + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    const QString strText = CScriptText::Decode(input.Rest());
    CVbsInterpreter interpreter;
    if (const std::optional<ScriptError> error = interpreter.Compile(strText)) {
        FUZZ_CHECK(error->nNumber == 1002);
        CheckError(*error, strText);
        return 0;
    }
    CIdleMacro macro;
    const std::atomic<bool> bStop{false};
    const VbsBudget budget{.nMaxSteps = 20000, .nMaxStringChars = 1 << 16};
    if (const std::optional<ScriptError> error = interpreter.Run(&macro, bStop, budget)) {
        FUZZ_CHECK(error->nNumber != 1002);
        CheckError(*error, strText);
    }
    FUZZ_CHECK(macro.m_nCalls <= budget.nMaxSteps);
    return 0;
}

#include "VbsScriptFuzz.moc"
