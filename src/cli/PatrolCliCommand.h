#pragma once

#include <QStringList>

#include <atomic>

class CBusLink;
class QTextStream;

// tolvex-cli patrol: the multi-module page's patrol over addresses 0..N on the
// command line, one line per completed cycle, optionally recording .sdat files.
class CPatrolCliCommand
{
public:
    CPatrolCliCommand(CBusLink& link, QTextStream& out, QTextStream& err,
                      const std::atomic<bool>& bStop);

    // Returns the exit code: 0 all well, 1 a module missed reads, none answered
    // or a record failed, 2 a usage error or a record folder that cannot be used.
    int Run(const QStringList& arrArgs);

private:
    int Usage(const QString& strError);
    // Creates the folder with its parents and proves it writable.
    bool PrepareFolder(const QString& strFolder);

    CBusLink& m_link;
    QTextStream& m_out;
    QTextStream& m_err;
    const std::atomic<bool>& m_bStop;
};
