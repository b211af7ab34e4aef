#include "sim/SimFaultPlan.h"

#include <algorithm>

namespace {

constexpr int kMinGapMs = 2;
constexpr int kMaxGapMs = 40;
constexpr int kMaxNoiseBytes = 8;

} // namespace

CSimFaultPlan::CSimFaultPlan(double dRate, quint32 nSeed)
    : m_dRate(std::clamp(dRate, 0.0, 1.0)), m_rng(nSeed), m_hangupRng(nSeed ^ 0x9E3779B9u)
{
}

CSimFaultPlan::Kind CSimFaultPlan::Next()
{
    Kind kind = Kind::None;
    if (m_dRate > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_dRate)
        kind = static_cast<Kind>(std::uniform_int_distribution<int>(1, kKinds - 1)(m_rng));
    ++m_arrCounts[static_cast<int>(kind)];
    return kind;
}

qsizetype CSimFaultPlan::SplitAt(qsizetype nLength)
{
    if (nLength < 2)
        return 0;
    return std::uniform_int_distribution<qsizetype>(1, nLength - 1)(m_rng);
}

int CSimFaultPlan::SplitGapMs()
{
    return std::uniform_int_distribution<int>(kMinGapMs, kMaxGapMs)(m_rng);
}

QByteArray CSimFaultPlan::Noise()
{
    QByteArray noise(std::uniform_int_distribution<int>(1, kMaxNoiseBytes)(m_rng), '\0');
    for (char& c : noise)
        c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(m_rng));
    return noise;
}

const char* CSimFaultPlan::Name(Kind kind)
{
    switch (kind) {
    case Kind::None:
        return "none";
    case Kind::Drop:
        return "drop";
    case Kind::BadCheck:
        return "bad-check";
    case Kind::Split:
        return "split";
    case Kind::Delay:
        return "delay";
    case Kind::Noise:
        return "noise";
    }
    return "?";
}

QString CSimFaultPlan::CountText() const
{
    quint64 nReplies = 0;
    for (quint64 n : m_arrCounts)
        nReplies += n;
    QString strText =
        QStringLiteral("replies %1, faulted %2:").arg(nReplies).arg(nReplies - Count(Kind::None));
    for (int i = 1; i < kKinds; ++i)
        strText += QStringLiteral(" %1 %2,").arg(QLatin1String(Name(Kind(i)))).arg(m_arrCounts[i]);
    return strText + QStringLiteral(" hang-ups %1").arg(m_nHangups);
}

void CSimFaultPlan::SetHangups(int nMinS, int nMaxS, int nDownMinS, int nDownMaxS)
{
    m_nUpMinS = std::max(1, std::min(nMinS, nMaxS));
    m_nUpMaxS = std::max(0, nMaxS);
    m_nDownMinS = std::max(0, std::min(nDownMinS, nDownMaxS));
    m_nDownMaxS = std::max(m_nDownMinS, nDownMaxS);
}

int CSimFaultPlan::NextUpS()
{
    return std::uniform_int_distribution<int>(m_nUpMinS,
                                              std::max(m_nUpMinS, m_nUpMaxS))(m_hangupRng);
}

int CSimFaultPlan::NextDownS()
{
    ++m_nHangups;
    return std::uniform_int_distribution<int>(m_nDownMinS, m_nDownMaxS)(m_hangupRng);
}
