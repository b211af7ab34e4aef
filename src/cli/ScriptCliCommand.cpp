#include "cli/ScriptCliCommand.h"

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "link/BusLink.h"
#include "recording/BoundedRead.h"
#include "terminal/ScriptRun.h"
#include "terminal/TerminalPort.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <mutex>

namespace {

// A longer script file, or anything but a regular file, is refused unread.
constexpr qint64 kMaxScriptBytes = 4 * 1024 * 1024;

// How often the stop word, which a signal handler sets, is looked at.
constexpr int kStopCheckMs = 20;

// Prints each received block as a line of hexadecimal pairs until closed.
// Blocks come on the link's I/O thread.
class CBlockPrinter
{
public:
    void Print(const QByteArray& block)
    {
        std::lock_guard lock(m_mutex);
        if (!m_bOpen || block.isEmpty())
            return;
        const QByteArray line = block.toHex(' ').toUpper() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fflush(stdout);
    }
    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_bOpen = false;
    }

private:
    std::mutex m_mutex;
    bool m_bOpen = true;
};

} // namespace

CScriptCliCommand::CScriptCliCommand(CBusLink& link, QTextStream& err,
                                     const std::atomic<bool>& bStop)
    : m_link(link), m_err(err), m_bStop(bStop)
{
}

int CScriptCliCommand::Usage(const QString& strError)
{
    m_err << CliOptions::UsageErrorLine(strError);
    return CCliCommands::kUsageError;
}

int CScriptCliCommand::Run(const QStringList& arrArgs)
{
    QStringList arrRest = arrArgs;
    QString strError;
    std::optional<QString> langOption;
    if (!TakeOptionText(arrRest, QStringLiteral("--lang"), langOption))
        return Usage(QStringLiteral("--lang needs a value, vbs or js"));
    QString strLanguage = langOption.value_or(QString());
    CCommandArgs args(arrRest);
    int nWaitMs = kDefaultWaitMs;
    QStringList arrPositional;
    if (!args.TakeInt({QStringLiteral("--wait")}, 0, 3600000, nWaitMs, strError) ||
        !args.TakePositional(1, arrPositional, strError))
        return Usage(strError);
    const QString strFile = arrPositional[0];
    if (strLanguage.isEmpty())
        strLanguage = QFileInfo(strFile).suffix();
    CScriptRun::Language language = CScriptRun::Language::JavaScript;
    if (strLanguage.compare(QLatin1String("vbs"), Qt::CaseInsensitive) == 0)
        language = CScriptRun::Language::VBScript;
    else if (strLanguage.compare(QLatin1String("js"), Qt::CaseInsensitive) != 0)
        return Usage(QStringLiteral("the language is vbs or js (--lang, or a .vbs or .js file)"));

    QByteArray script;
    if (const int nError =
            CBoundedRead::Read(strFile, kMaxScriptBytes, CBoundedRead::Longer::Refuse, script);
        nError != 0) {
        m_err << "tolvex-cli: " << strFile << ": "
              << CBoundedRead::ErrorText(nError, kMaxScriptBytes) << "\n";
        return CCliCommands::kUsageError;
    }
    const QString strText = CScriptRun::DecodeScriptFile(script);

    // Raw traffic: what arrives goes to us as it would to the terminal page.
    CBlockPrinter printer;
    m_link.SetTerminalReceiver([&printer](const QByteArray& block) { printer.Print(block); });
    m_link.m_bTerminalShown = 1;

    CTerminalPort port(&m_link);
    CScriptRun run(&port);
    QEventLoop loop;
    CScriptRun::Outcome outcome = CScriptRun::Outcome::Stopped;
    QString strReport;
    QObject::connect(&run, &CScriptRun::ScriptEnded,
                     [&](CScriptRun::Outcome ended, const QString& strEndReport) {
                         outcome = ended;
                         strReport = strEndReport;
                         loop.quit();
                     });
    bool bStopped = false;
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [&] {
        if (bStopped || !m_bStop.load())
            return;
        bStopped = true;
        run.StopScript();
        printer.Close();
        // Whatever still waits to go out is dropped with the port.
        m_link.ClosePort();
    });
    stopCheck.start(kStopCheckMs);
    run.RunScript(strText, language);
    loop.exec();
    stopCheck.stop();

    if (!bStopped && outcome != CScriptRun::Outcome::Stopped) {
        if (outcome == CScriptRun::Outcome::Failed)
            m_err << strReport << "\n";
        m_err.flush();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < nWaitMs && !m_bStop.load())
            QThread::msleep(
                static_cast<unsigned long>(qMin<qint64>(kStopCheckMs, nWaitMs - timer.elapsed())));
    }
    printer.Close();
    m_link.m_bTerminalShown = 0;
    m_link.SetTerminalReceiver(nullptr);
    return outcome == CScriptRun::Outcome::Completed && !bStopped ? CCliCommands::kOk
                                                                  : CCliCommands::kFailed;
}
