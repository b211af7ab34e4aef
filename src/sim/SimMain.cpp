// tolvex-sim: a bus of simulated modules on a pseudo-terminal or over TCP.

#include "module/AddressList.h"
#include "sim/PtySimulator.h"
#include "sim/TcpSimulator.h"

#include <QStringList>

#include <QList>
#include <QPair>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

void PrintHelp()
{
    const QString strHelp =
        QStringLiteral(
            "Usage: tolvex-sim [options]\n"
            "Simulates weighing modules on a pseudo-terminal, or as a serial device server\n"
            "over TCP. The first line of output is the device to open as the serial port\n"
            "(a path, or tcp://HOST:PORT).\n"
            "\n"
            "  --modules A,B,...   module addresses, 0..99 (default 1,3,17)\n"
            "  --link PATH         keep a symbolic link to the device at PATH\n"
            "  --tcp HOST:PORT     serve over TCP instead, one client at a time (port 0:\n"
            "                      any free port)\n"
            "  --baud N            baud rate for the line timing (default 19200)\n"
            "  --line-timing       answer as late as the bytes would take on the wire\n"
            "  --turnaround-ms MS  module reaction time before each reply (default 0)\n"
            "  --seed N            seed of the signal noise and random faults (default 1)\n"
            "  --raw ADDR=VALUE    a fixed raw signal for a module, without drift or noise\n"
            "                      (repeatable); more ADDR=VALUE lines on stdin change it\n"
            "  --band RAW          raise each module's signal by its address x RAW counts,\n"
            "                      so that every module answers in a range of its own\n"
            "  --faults P          fault the fraction P (0..1) of the replies, each with one\n"
            "                      of: drop, bad check byte, split in two writes, delay past\n"
            "                      the time-out, noise before it (drawn from --seed)\n"
            "  --fault-delay-ms MS how far that delay holds a reply back (default 110)\n"
            "  --hangup-every A-B  hang the line up every A to B seconds, for 5 to 20 s;\n"
            "                      then a new device appears behind --link (\"hang-up\" and\n"
            "                      \"back DEVICE\" lines on the output say when)\n"
            "  --fault F           inject a fault (repeatable, or comma separated):\n") +
        SimFaults::Help() +
        QStringLiteral(
            "  --help              this text\n"
            "\n"
            "Signals: SIGINT or SIGTERM stop and remove the link; SIGUSR1 power-cycles\n"
            "every module (stored settings back, locked, gross mode); SIGUSR2 prints the\n"
            "fault counts, which are printed at the end too. --name=VALUE works as well.\n");
    std::fputs(strHelp.toLocal8Bit().constData(), stdout);
}

int Fail(const QString& strMessage)
{
    std::fprintf(stderr, "tolvex-sim: %s\n", strMessage.toLocal8Bit().constData());
    return 2;
}

// "ADDR=VALUE": a module address and a 32-bit raw signal.
bool ParseRaw(const QString& strText, int& nAddress, qint32& nRaw)
{
    const QStringList arrParts = strText.trimmed().split(QLatin1Char('='));
    bool bAddressOk = false;
    bool bRawOk = false;
    if (arrParts.size() != 2)
        return false;
    nAddress = arrParts[0].toInt(&bAddressOk);
    nRaw = arrParts[1].toInt(&bRawOk);
    return bAddressOk && bRawOk;
}

// The longest module reaction time taken: a minute.
constexpr double kMaxTurnaroundMs = 60000.0;

// The longest ADDR=VALUE line taken; the rest of a longer one is dropped.
constexpr qsizetype kMaxRawLine = 256;

void TakeRawLine(CSimBus& bus, const QByteArray& line)
{
    const QString strLine = QString::fromLatin1(line).trimmed();
    int nAddress = 0;
    qint32 nRaw = 0;
    if (strLine.isEmpty())
        return;
    if (!ParseRaw(strLine, nAddress, nRaw) || !bus.SetRaw(nAddress, nRaw))
        std::fprintf(stderr, "tolvex-sim: ignored \"%s\" (ADDR=VALUE of a module)\n",
                     strLine.toLocal8Bit().constData());
}

// Reads ADDR=VALUE lines from stdin until it ends or the stop pipe is written.
// What is kept of an unfinished line is bounded, so endless input without a
// line end costs neither memory nor rescans.
void ReadRawLines(CSimBus& bus, int nStopFd)
{
    QByteArray line;
    bool bTooLong = false;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {nStopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents != 0)
            return;
        char buffer[4096];
        const ssize_t nRead = read(STDIN_FILENO, buffer, sizeof buffer);
        if (nRead <= 0)
            return;
        for (const char c : QByteArrayView(buffer, nRead)) {
            if (c != '\n') {
                if (line.size() < kMaxRawLine)
                    line.append(c);
                else
                    bTooLong = true;
                continue;
            }
            if (bTooLong)
                std::fprintf(stderr, "tolvex-sim: ignored a line over %d bytes\n",
                             int(kMaxRawLine));
            else
                TakeRawLine(bus, line);
            line.clear();
            bTooLong = false;
        }
    }
}

void PrintCounts(const CSimBus& bus)
{
    std::fprintf(stderr, "tolvex-sim: %s\n", bus.FaultCountText().toLocal8Bit().constData());
}

// The hang-up schedule: the line is up for a drawn time, then gone for one,
// then a new pseudo-terminal appears behind the same link.
class CHangupClock
{
public:
    explicit CHangupClock(CSimBus& bus) : m_bus(bus)
    {
        m_bDue = bus.HasHangups();
        if (m_bDue)
            m_tNext = Clock::now() + std::chrono::seconds(bus.NextUpS());
    }
    bool Due() const { return m_bDue; }
    time_t SecondsToNext() const
    {
        if (!m_bDue)
            return 0;
        const auto left = std::chrono::ceil<std::chrono::seconds>(m_tNext - Clock::now());
        return std::max<time_t>(0, left.count());
    }
    // At the time set: hangs up or comes back, says so on stdout.
    void Step(CPtySimulator& simulator, const QString& strLink)
    {
        if (!m_bDue || Clock::now() < m_tNext)
            return;
        if (simulator.IsRunning()) {
            const int nDownS = m_bus.NextDownS();
            simulator.Stop();
            std::printf("hang-up for %d s\n", nDownS);
            m_tNext = Clock::now() + std::chrono::seconds(nDownS);
        } else {
            m_bus.NewLine();
            const QString strDevice = simulator.Start(strLink);
            if (strDevice.isEmpty()) {
                std::fprintf(stderr, "tolvex-sim: %s\n",
                             simulator.ErrorText().toLocal8Bit().constData());
                m_tNext = Clock::now() + std::chrono::seconds(1);
                return;
            }
            std::printf("back %s\n", strDevice.toLocal8Bit().constData());
            m_tNext = Clock::now() + std::chrono::seconds(m_bus.NextUpS());
        }
        std::fflush(stdout);
    }

private:
    using Clock = std::chrono::steady_clock;
    CSimBus& m_bus;
    bool m_bDue = false;
    Clock::time_point m_tNext;
};

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    SimOptions options;
    QString strLink;
    QString strTcpHost;
    int nTcpPort = -1;
    QList<QPair<int, qint32>> arrRaw;
    // "--name=value" is "--name value".
    for (qsizetype i = 0; i < args.size(); ++i) {
        const qsizetype nEq = args[i].indexOf(QLatin1Char('='));
        if (args[i].startsWith(QLatin1String("--")) && nEq > 2) {
            args.insert(i + 1, args[i].mid(nEq + 1));
            args[i].truncate(nEq);
            ++i;
        }
    }
    int nHangupMinS = 0;
    int nHangupMaxS = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& strArg = args[i];
        const bool bHasValue = i + 1 < args.size();
        if (strArg == "--help" || strArg == "-h") {
            PrintHelp();
            return 0;
        }
        if (strArg == "--line-timing") {
            options.m_bLineTiming = true;
            continue;
        }
        const bool bTakesValue = strArg == "--modules" || strArg == "--link" || strArg == "--tcp" ||
                                 strArg == "--baud" || strArg == "--turnaround-ms" ||
                                 strArg == "--seed" || strArg == "--fault" || strArg == "--raw" ||
                                 strArg == "--band" || strArg == "--faults" ||
                                 strArg == "--fault-delay-ms" || strArg == "--hangup-every";
        if (!bTakesValue)
            return Fail(QStringLiteral("unknown argument \"%1\" (see --help)").arg(strArg));
        if (!bHasValue)
            return Fail(QStringLiteral("%1 needs a value").arg(strArg));
        const QString strValue = args[++i];
        bool bOk = false;
        if (strArg == "--modules") {
            if (!CAddressList::Parse(strValue, options.m_arrAddresses))
                return Fail(QStringLiteral("bad module list \"%1\"").arg(strValue));
        } else if (strArg == "--link") {
            if (strValue.isEmpty())
                return Fail(QStringLiteral("--link needs a path"));
            strLink = strValue;
        } else if (strArg == "--tcp") {
            const qsizetype nColon = strValue.lastIndexOf(QLatin1Char(':'));
            strTcpHost = strValue.left(nColon);
            if (strTcpHost.startsWith(QLatin1Char('[')) && strTcpHost.endsWith(QLatin1Char(']')))
                strTcpHost = strTcpHost.mid(1, strTcpHost.size() - 2);
            nTcpPort = strValue.mid(nColon + 1).toInt(&bOk);
            if (nColon <= 0 || strTcpHost.isEmpty() || !bOk || nTcpPort < 0 || nTcpPort > 65535)
                return Fail(QStringLiteral("--tcp takes HOST:PORT, such as 127.0.0.1:4001"));
        } else if (strArg == "--baud") {
            options.m_nBaud = strValue.toInt(&bOk);
            if (!bOk || options.m_nBaud <= 0)
                return Fail(QStringLiteral("bad baud rate \"%1\"").arg(strValue));
        } else if (strArg == "--turnaround-ms") {
            // toDouble takes "nan", "inf" and 1e308 too: a wait that never ends.
            options.m_dTurnaroundMs = strValue.toDouble(&bOk);
            if (!bOk ||
                !(options.m_dTurnaroundMs >= 0.0 && options.m_dTurnaroundMs <= kMaxTurnaroundMs))
                return Fail(QStringLiteral("bad turnaround \"%1\" (0 to %2 ms)")
                                .arg(strValue)
                                .arg(kMaxTurnaroundMs));
        } else if (strArg == "--seed") {
            options.m_nSeed = strValue.toUInt(&bOk);
            if (!bOk)
                return Fail(QStringLiteral("bad seed \"%1\"").arg(strValue));
        } else if (strArg == "--band") {
            options.m_nAddressBand = strValue.toInt(&bOk);
            if (!bOk || options.m_nAddressBand < 0 || options.m_nAddressBand > 2000000)
                return Fail(QStringLiteral("bad band \"%1\" (0..2000000)").arg(strValue));
        } else if (strArg == "--faults") {
            options.m_dFaultRate = strValue.toDouble(&bOk);
            if (!bOk || !(options.m_dFaultRate >= 0.0 && options.m_dFaultRate <= 1.0))
                return Fail(QStringLiteral("bad fault fraction \"%1\" (0..1)").arg(strValue));
        } else if (strArg == "--fault-delay-ms") {
            options.m_nFaultDelayMs = strValue.toInt(&bOk);
            if (!bOk || options.m_nFaultDelayMs < 0 || options.m_nFaultDelayMs > 60000)
                return Fail(QStringLiteral("bad fault delay \"%1\"").arg(strValue));
        } else if (strArg == "--hangup-every") {
            const QStringList arrRange = strValue.split(QLatin1Char('-'));
            bool bMaxOk = false;
            if (arrRange.size() == 2) {
                nHangupMinS = arrRange[0].toInt(&bOk);
                nHangupMaxS = arrRange[1].toInt(&bMaxOk);
            }
            if (!bOk || !bMaxOk || nHangupMinS < 1 || nHangupMaxS < nHangupMinS)
                return Fail(
                    QStringLiteral("--hangup-every takes MIN-MAX seconds, such as 180-300"));
        } else if (strArg == "--raw") {
            int nAddress = 0;
            qint32 nRaw = 0;
            if (!ParseRaw(strValue, nAddress, nRaw))
                return Fail(QStringLiteral("--raw takes ADDR=VALUE, not \"%1\"").arg(strValue));
            arrRaw.append({nAddress, nRaw});
        } else {
            for (const QString& strFault : strValue.split(',')) {
                QString strError;
                if (!options.m_faults.Apply(strFault.trimmed(), strError))
                    return Fail(strError + QStringLiteral(" (see --help)"));
            }
        }
    }

    // Signals are taken synchronously below; block them before the serving
    // thread starts so that it inherits the mask.
    sigset_t blockedSignals;
    sigemptyset(&blockedSignals);
    sigaddset(&blockedSignals, SIGINT);
    sigaddset(&blockedSignals, SIGTERM);
    sigaddset(&blockedSignals, SIGUSR1);
    sigaddset(&blockedSignals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &blockedSignals, nullptr);

    if (nTcpPort >= 0 && !strLink.isEmpty())
        return Fail(QStringLiteral("--link is for the pseudo-terminal, not --tcp"));
    if (nHangupMaxS > 0 && strLink.isEmpty())
        return Fail(QStringLiteral("--hangup-every needs --link, where the device comes back"));
    CPtySimulator ptySimulator(options);
    CTcpSimulator tcpSimulator(options);
    CSimBus& bus = nTcpPort >= 0 ? tcpSimulator.Bus() : ptySimulator.Bus();
    if (nHangupMaxS > 0)
        bus.SetHangups(nHangupMinS, nHangupMaxS);
    for (const auto& [nAddress, nRaw] : arrRaw) {
        if (!bus.SetRaw(nAddress, nRaw))
            return Fail(QStringLiteral("--raw: no module at address %1").arg(nAddress));
    }
    const QString strDevice = nTcpPort >= 0
                                  ? tcpSimulator.Start(strTcpHost, static_cast<quint16>(nTcpPort))
                                  : ptySimulator.Start(strLink);
    if (strDevice.isEmpty()) {
        const QString strError =
            nTcpPort >= 0 ? tcpSimulator.ErrorText() : ptySimulator.ErrorText();
        std::fprintf(stderr, "tolvex-sim: %s\n", strError.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%s\n", strDevice.toLocal8Bit().constData());
    std::fflush(stdout);

    int arrStopPipe[2] = {-1, -1};
    if (pipe(arrStopPipe) != 0)
        return Fail(QStringLiteral("cannot make a pipe"));
    std::thread rawReader(ReadRawLines, std::ref(bus), arrStopPipe[0]);

    CHangupClock hangups(bus);
    for (;;) {
        const timespec wait{hangups.SecondsToNext(), 0};
        const int nSignal = sigtimedwait(&blockedSignals, nullptr, hangups.Due() ? &wait : nullptr);
        if (nSignal < 0) {
            if (errno == EAGAIN && hangups.Due())
                hangups.Step(ptySimulator, strLink);
            continue;
        }
        if (nSignal == SIGUSR1) {
            bus.PowerCycle();
            continue;
        }
        if (nSignal == SIGUSR2) {
            PrintCounts(bus);
            continue;
        }
        break;
    }
    const char cStop = 1;
    if (write(arrStopPipe[1], &cStop, 1) != 1)
        rawReader.detach();
    if (rawReader.joinable())
        rawReader.join();
    close(arrStopPipe[0]);
    close(arrStopPipe[1]);
    ptySimulator.Stop();
    tcpSimulator.Stop();
    PrintCounts(bus);
    return 0;
}
