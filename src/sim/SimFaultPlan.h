#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <random>

// Random faults for a soak: a fraction of the replies gets one fault, the kind
// drawn evenly, and the line hangs up now and then. Everything is drawn from
// the seed, so a seed repeats a run reply by reply; the hang-up schedule has a
// generator of its own and does not depend on how many replies went by.
// Not thread-safe: the bus calls it under its lock.
class CSimFaultPlan
{
public:
    enum class Kind
    {
        None,
        Drop,     // no reply at all
        BadCheck, // the check byte of a measured value (another byte elsewhere) flipped
        Split,    // the reply in two writes with a gap
        Delay,    // the reply held back past the reader's time-out
        Noise,    // junk bytes just before the reply
    };
    static constexpr int kKinds = 6;

    // A fault for dRate (0..1) of the replies.
    explicit CSimFaultPlan(double dRate = 0.0, quint32 nSeed = 1);

    double Rate() const { return m_dRate; }

    // The fault of the next reply, counted.
    Kind Next();
    // Where a split reply of nLength bytes (2 or more) is cut, and the gap.
    qsizetype SplitAt(qsizetype nLength);
    int SplitGapMs();
    // 1 to 8 random bytes.
    QByteArray Noise();

    quint64 Count(Kind kind) const { return m_arrCounts[static_cast<int>(kind)]; }
    static const char* Name(Kind kind);
    // "replies N, faulted M: drop a, bad-check b, …, hang-ups h".
    QString CountText() const;

    // Hang-ups every nMinS..nMaxS seconds of the line being up, each lasting
    // nDownMinS..nDownMaxS seconds. nMaxS 0: never.
    void SetHangups(int nMinS, int nMaxS, int nDownMinS = 5, int nDownMaxS = 20);
    bool HasHangups() const { return m_nUpMaxS > 0; }
    // Seconds until the next hang-up, then how long it lasts; each call draws
    // the next of the schedule. NextDownS() counts the hang-up.
    int NextUpS();
    int NextDownS();

private:
    double m_dRate;
    std::mt19937 m_rng;
    std::mt19937 m_hangupRng;
    std::array<quint64, kKinds> m_arrCounts{};
    quint64 m_nHangups = 0;
    int m_nUpMinS = 0;
    int m_nUpMaxS = 0;
    int m_nDownMinS = 5;
    int m_nDownMaxS = 20;
};
