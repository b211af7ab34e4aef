#include "terminal/ScriptErrorReport.h"

QString ReportScriptError(const ScriptError& error)
{
    const QString strSource =
        error.strSource.isEmpty() ? QStringLiteral("Tolvex测试软件") : error.strSource;
    QString strText = QStringLiteral("Error: %1\nSource: %2\nDescription: %3")
                          .arg(error.nNumber & 0xFFFFu)
                          .arg(strSource, error.strDescription);
    if (error.nLine != 0) {
        strText += QStringLiteral("\nLine: %1\nColumn: %2").arg(error.nLine).arg(error.nColumn);
        if (!error.strCode.isEmpty())
            strText += QStringLiteral("\nCode: %1").arg(error.strCode);
    }
    return strText;
}

QString ScriptSourceLine(const QString& strText, unsigned nLine)
{
    unsigned nCurrent = 1;
    qsizetype nStart = 0;
    for (qsizetype i = 0; i < strText.size(); ++i) {
        const QChar c = strText[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        if (nCurrent == nLine)
            return strText.mid(nStart, i - nStart);
        if (c == QLatin1Char('\r') && i + 1 < strText.size() && strText[i + 1] == QLatin1Char('\n'))
            ++i;
        nStart = i + 1;
        ++nCurrent;
    }
    return nCurrent == nLine ? strText.mid(nStart) : QString();
}
