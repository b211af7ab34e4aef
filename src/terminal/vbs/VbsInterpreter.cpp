#include "terminal/vbs/VbsInterpreter.h"

#include "terminal/vbs/VbsHostCall.h"
#include "terminal/vbs/VbsMachine.h"
#include "terminal/vbs/VbsParser.h"
#include "terminal/vbs/VbsResolver.h"

std::optional<ScriptError> CVbsInterpreter::Compile(const QString& strText)
{
    m_strText = strText;
    m_program.reset();
    try {
        VbsProgram program = CVbsParser(m_strText).Parse();
        CVbsResolver(program).Resolve();
        m_program = std::move(program);
    } catch (const VbsSyntaxError& error) {
        return MakeError(1002, QStringLiteral("VBScript compilation error"), error.strDescription,
                         error.nLine, error.nColumn);
    }
    return std::nullopt;
}

std::optional<ScriptError> CVbsInterpreter::Run(QObject* pMacro, const std::atomic<bool>& bStop,
                                                const VbsBudget& budget)
{
    if (!m_program)
        return std::nullopt;
    CVbsHostCall host(pMacro);
    CVbsMachine machine(*m_program, host, bStop, budget);
    const std::optional<VbsRunError> error = machine.Run();
    if (!error)
        return std::nullopt;
    return MakeError(error->error.nNumber, QStringLiteral("VBScript runtime error"),
                     error->error.strDescription, error->nLine, error->nColumn);
}

ScriptError CVbsInterpreter::MakeError(unsigned nNumber, const QString& strSource,
                                       const QString& strDescription, int nLine, int nColumn) const
{
    return ScriptError{nNumber,         strSource,         strDescription,
                       unsigned(nLine), unsigned(nColumn), PhysicalLine(nLine)};
}

QString CVbsInterpreter::PhysicalLine(int nLine) const
{
    // A lone CR, LF or CR LF ends a line, as the lexer counts them.
    qsizetype nPos = 0;
    const qsizetype nSize = m_strText.size();
    for (int n = 1; n < nLine && nPos < nSize; ++n) {
        while (nPos < nSize && m_strText[nPos] != u'\r' && m_strText[nPos] != u'\n')
            ++nPos;
        if (nPos < nSize && m_strText[nPos] == u'\r' && nPos + 1 < nSize &&
            m_strText[nPos + 1] == u'\n')
            ++nPos;
        ++nPos;
    }
    qsizetype nEnd = nPos;
    while (nEnd < nSize && m_strText[nEnd] != u'\r' && m_strText[nEnd] != u'\n')
        ++nEnd;
    return m_strText.mid(nPos, nEnd - nPos);
}
