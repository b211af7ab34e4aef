#pragma once

#include <QStringList>

#include <atomic>

class CBusLink;
class QTextStream;

// tolvex-cli script FILE [--lang vbs|js] [--wait MS]: runs a macro script on
// the bus through the terminal's port layer, as the terminal page does, and
// prints every block that arrives while it runs and MS after it ends as one
// line of hexadecimal pairs. A stop ends the run at once: nothing more is
// written, what still waits to go out is dropped, nothing more is printed.
class CScriptCliCommand
{
public:
    static constexpr int kDefaultWaitMs = 200;

    CScriptCliCommand(CBusLink& link, QTextStream& err, const std::atomic<bool>& bStop);

    // The exit code: 0 ran to its end, 1 a script error or a stop, 2 a usage
    // error or an unreadable file (nothing sent).
    int Run(const QStringList& arrArgs);

private:
    int Usage(const QString& strError);

    CBusLink& m_link;
    QTextStream& m_err;
    const std::atomic<bool>& m_bStop;
};
