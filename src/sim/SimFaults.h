#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Faults the simulated bus can inject into its replies. Every field is off at
// its default; several may be on at once.
struct SimFaults
{
    int m_nDropEvery = 0;                  // drop every Nth reply (0: never)
    double m_dDropProbability = 0.0;       // drop a reply with this probability, 0..1
    bool m_bCorruptCheck = false;          // flip the check byte of binary measured values
    bool m_bSplit = false;                 // write replies one byte per write ...
    int m_nSplitPauseMs = 2;               // ... this far apart
    int m_nDelayMs = 0;                    // hold every reply back this much longer
    int m_nNoiseBytes = 0;                 // random bytes written just before every reply
    bool m_bZtsUnsupported = false;        // answer "?\r\n" to ZTS? and ZTS writes
    QList<QByteArray> m_arrUnknownQueries; // answer "?\r\n" to these queries
    QList<QByteArray> m_arrRefusedWrites;  // answer "?\r\n" to writes of these mnemonics
    int m_nCaptureDelayMs = 0;             // "LDW;"/"LWT;" take this long (0: the option's)

    // Switches on one fault from its command-line form: "drop=N", "drop-chance=P",
    // "corrupt-check", "split" or "split=MS", "delay=MS", "noise" or "noise=N",
    // "zts-unsupported", "unknown-query=MNEMONIC", "refuse-write=MNEMONIC",
    // "slow-capture=MS". A bad form leaves the faults unchanged, returns
    // false and says why in strError.
    bool Apply(const QString& strFault, QString& strError);

    // One line per fault form, for --help.
    static QString Help();

    bool operator==(const SimFaults&) const = default;
};
