#pragma once

#include "sim/SimFaultPlan.h"
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
        bool m_bSplit = false;     // write one byte at a time ...
        qsizetype m_nSplitAt = 0;  // ... or in two writes, cut here (0: one write)
        int m_nSplitPauseMs = 0;   // the pause between the writes

        // The reply's writes, in order, m_nSplitPauseMs apart.
        QList<QByteArray> Writes() const;
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

    // The frames the bus has taken since the last clear, whatever their
    // address, as they came off the line (the frame log tests read): the
    // newest kFrameLogLimit at least, so that a simulator serving for days
    // does not grow with its traffic.
    static constexpr qsizetype kFrameLogLimit = 8192;
    QList<QByteArray> FrameLog() const;
    void ClearFrameLog();

    void PowerCycle();
    // A new line after a hang-up: a frame cut off by it is forgotten.
    void NewLine();
    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;
    SimOptions Options() const;

    // The random faults of the options' fault rate: counts so far, and the
    // hang-up schedule (see CSimFaultPlan).
    QString FaultCountText() const;
    void SetHangups(int nMinS, int nMaxS);
    bool HasHangups() const;
    int NextUpS();
    int NextDownS();

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
    // The fault plan's draw for one reply; false: the reply is dropped.
    bool ApplyRandomFault(Reply& reply, bool bBinary);

    mutable std::mutex m_mutex;
    SimOptions m_options;
    std::vector<std::unique_ptr<CSimModule>> m_modules;
    CSimFrameSplitter m_splitter;
    Clock::time_point m_tStart;
    std::mt19937 m_rng;
    quint64 m_nReplyCount = 0;
    CSimFaultPlan m_plan;
    QList<QByteArray> m_arrFrameLog;
};
