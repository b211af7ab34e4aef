#pragma once

#include <QStringList>

#include <atomic>

class CBusLink;
class CCalibrationCliCommands;
class QTextStream;

// The commands of tolvex-cli on an open bus link. Each returns the exit code.
class CCliCommands
{
public:
    static constexpr int kOk = 0;
    static constexpr int kFailed = 1;
    static constexpr int kUsageError = 2;

    CCliCommands(CBusLink& link, QTextStream& out, QTextStream& err);

    int Run(const QString& strCommand, const QStringList& arrArgs);

    // True for a command that runs until it is stopped (msv -n 0, patrol -n 0):
    // it rides out a lost device instead of ending with it.
    static bool IsEndless(const QString& strCommand, const QStringList& arrArgs);

    // Asks a running command to stop (from a signal handler).
    static void RequestStop() { s_bStop.store(true); }

private:
    CCalibrationCliCommands CalibrationCommands();
    int Msv(const QStringList& arrArgs);
    int Send(const QStringList& arrArgs);
    int Usage(const QString& strError);
    bool TakeAddress(const QStringList& arrPositional, int& nAddress);
    // Waits nMs or until a stop is asked for.
    static void Pause(int nMs);

    CBusLink& m_link;
    QTextStream& m_out;
    QTextStream& m_err;

    static std::atomic<bool> s_bStop;
};
