#pragma once

#include "sim/SimFrameSplitter.h"
#include "sim/SimModule.h"
#include "sim/SimOptions.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

// A bus of simulated modules: takes the bytes the tool sends and gives back
// what the modules answer, with the configured faults. Thread-safe: a serving
// thread may feed it while another changes faults or power-cycles it.
class CSimBus
{
public:
    using Clock = std::chrono::steady_clock;

    // One reply as it goes onto the line.
    struct Reply
    {
        QByteArray m_noise;        // junk written just before the reply
        QByteArray m_bytes;        // the reply itself
        qsizetype m_nCommandBytes; // length of the frame it answers
        int m_nDelayMs = 0;        // extra hold-back: capture time plus the delay fault
        bool m_bSplit = false;     // write one byte at a time
        int m_nSplitPauseMs = 0;
    };

    explicit CSimBus(const SimOptions& options = SimOptions());

    // Adds bytes that arrived at tNow; returns the replies of the frames they
    // complete, in order. Frames for absent addresses and dropped replies give
    // no entry.
    std::vector<Reply> Feed(const QByteArray& bytes, Clock::time_point tNow = Clock::now());

    // How long after its frame arrived a reply goes onto the line: the
    // turnaround and its extra hold-back, plus the bytes' time on the wire
    // when the bus has line timing.
    double ReplyWaitMs(const Reply& reply) const;

    // Feed now, and the noise and reply bytes of every
    // reply in order, as one block.
    QByteArray Process(const QByteArray& bytes);

    // Every frame the bus has taken since the last clear, whatever its address,
    // as it came off the line (the frame log tests read).
    QList<QByteArray> FrameLog() const;
    void ClearFrameLog();

    void PowerCycle();
    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;
    SimOptions Options() const;

    QList<int> Addresses() const;
    // A weight on the scale of the module at nAddress (raw counts); false when
    // no module is there.
    bool SetExtraLoad(int nAddress, qint32 nRaw);
    // A fixed raw signal for the module at nAddress, without drift or noise;
    // false when no module is there.
    bool SetRaw(int nAddress, qint32 nRaw);
    // A copy of the module at nAddress, for inspection; false when none is there.
    bool Snapshot(int nAddress, CSimModule::Params& current, CSimModule::Params& stored,
                  bool& bUnlocked, bool& bNet) const;

private:
    CSimModule* FindLocked(int nAddress) const;

    mutable std::mutex m_mutex;
    SimOptions m_options;
    std::vector<std::unique_ptr<CSimModule>> m_modules;
    CSimFrameSplitter m_splitter;
    Clock::time_point m_tStart;
    std::mt19937 m_rng;
    quint64 m_nReplyCount = 0;
    QList<QByteArray> m_arrFrameLog;
};
