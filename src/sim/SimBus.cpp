#include "sim/SimBus.h"

CSimBus::CSimBus(const SimOptions& options)
    : m_options(options), m_tStart(Clock::now()), m_rng(options.m_nSeed),
      m_plan(options.m_dFaultRate, options.m_nSeed)
{
    for (int nAddress : options.m_arrAddresses) {
        if (nAddress >= 0 && nAddress <= 99 && !FindLocked(nAddress))
            m_modules.push_back(std::make_unique<CSimModule>(nAddress, options));
    }
}

std::vector<CSimBus::Reply> CSimBus::Feed(const QByteArray& bytes, Clock::time_point tNow)
{
    std::lock_guard lock(m_mutex);
    const double dSeconds = std::chrono::duration<double>(tNow - m_tStart).count();
    const SimFaults& faults = m_options.m_faults;
    std::vector<Reply> replies;
    for (const CSimFrameSplitter::Frame& frame : m_splitter.Feed(bytes, tNow)) {
        // Twice the limit kept at most, the older half dropped at once.
        if (m_arrFrameLog.size() >= 2 * kFrameLogLimit)
            m_arrFrameLog.remove(0, m_arrFrameLog.size() - kFrameLogLimit);
        m_arrFrameLog.append(frame.m_text);
        CSimModule* pModule = FindLocked(frame.m_nAddress);
        if (!pModule)
            continue;
        const auto addressFree = [this](int nAddress) { return FindLocked(nAddress) == nullptr; };
        CSimModule::Result result = pModule->RunFrame(frame.m_commands, dSeconds, addressFree);
        if (result.m_reply.isEmpty())
            continue;

        ++m_nReplyCount;
        const bool bDropNth = faults.m_nDropEvery > 0 && m_nReplyCount % faults.m_nDropEvery == 0;
        const bool bDropChance =
            faults.m_dDropProbability > 0.0 &&
            std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < faults.m_dDropProbability;
        if (bDropNth || bDropChance)
            continue;

        Reply reply;
        reply.m_bytes = result.m_reply;
        if (faults.m_bCorruptCheck && result.m_bBinary)
            reply.m_bytes[3] = static_cast<char>(reply.m_bytes[3] ^ 0x5A);
        for (int i = 0; i < faults.m_nNoiseBytes; ++i)
            reply.m_noise.append(
                static_cast<char>(std::uniform_int_distribution<int>(0, 255)(m_rng)));
        reply.m_nCommandBytes = frame.m_nBytes;
        reply.m_nDelayMs = result.m_nDelayMs + faults.m_nDelayMs;
        reply.m_bSplit = faults.m_bSplit;
        reply.m_nSplitPauseMs = faults.m_nSplitPauseMs;
        if (ApplyRandomFault(reply, result.m_bBinary))
            replies.push_back(reply);
    }
    return replies;
}

bool CSimBus::ApplyRandomFault(Reply& reply, bool bBinary)
{
    switch (m_plan.Next()) {
    case CSimFaultPlan::Kind::None:
        break;
    case CSimFaultPlan::Kind::Drop:
        return false;
    case CSimFaultPlan::Kind::BadCheck: {
        // The check byte of a measured value; of a text reply, its first byte.
        const qsizetype nAt = bBinary ? 3 : 0;
        reply.m_bytes[nAt] = static_cast<char>(reply.m_bytes[nAt] ^ 0x5A);
        break;
    }
    case CSimFaultPlan::Kind::Split:
        reply.m_nSplitAt = m_plan.SplitAt(reply.m_bytes.size());
        reply.m_nSplitPauseMs = m_plan.SplitGapMs();
        break;
    case CSimFaultPlan::Kind::Delay:
        reply.m_nDelayMs += m_options.m_nFaultDelayMs;
        break;
    case CSimFaultPlan::Kind::Noise:
        reply.m_noise += m_plan.Noise();
        break;
    }
    return true;
}

QList<QByteArray> CSimBus::Reply::Writes() const
{
    if (m_bSplit) {
        QList<QByteArray> arrWrites;
        for (char c : m_bytes)
            arrWrites.append(QByteArray(1, c));
        return arrWrites;
    }
    if (m_nSplitAt > 0 && m_nSplitAt < m_bytes.size())
        return {m_bytes.left(m_nSplitAt), m_bytes.mid(m_nSplitAt)};
    return {m_bytes};
}

double CSimBus::ReplyWaitMs(const Reply& reply) const
{
    std::lock_guard lock(m_mutex);
    double dWaitMs = m_options.m_dTurnaroundMs + reply.m_nDelayMs;
    if (m_options.m_bLineTiming && m_options.m_nBaud > 0) {
        const qsizetype nBytes =
            reply.m_nCommandBytes + reply.m_noise.size() + reply.m_bytes.size();
        dWaitMs += nBytes * 11 * 1000.0 / m_options.m_nBaud;
    }
    return dWaitMs;
}

QByteArray CSimBus::Process(const QByteArray& bytes)
{
    QByteArray out;
    for (const Reply& reply : Feed(bytes))
        out += reply.m_noise + reply.m_bytes;
    return out;
}

QList<QByteArray> CSimBus::FrameLog() const
{
    std::lock_guard lock(m_mutex);
    // A list of its own: a shared one would let the serving thread append in
    // place once the caller's copy is gone, unordered with the caller's reads.
    QList<QByteArray> arrCopy;
    arrCopy.reserve(m_arrFrameLog.size());
    for (const QByteArray& frame : m_arrFrameLog)
        arrCopy.append(frame);
    return arrCopy;
}

void CSimBus::ClearFrameLog()
{
    std::lock_guard lock(m_mutex);
    m_arrFrameLog.clear();
}

void CSimBus::PowerCycle()
{
    std::lock_guard lock(m_mutex);
    for (const auto& pModule : m_modules)
        pModule->PowerCycle();
    m_splitter.Clear();
}

void CSimBus::NewLine()
{
    std::lock_guard lock(m_mutex);
    m_splitter.Clear();
}

QString CSimBus::FaultCountText() const
{
    std::lock_guard lock(m_mutex);
    return m_plan.CountText();
}

void CSimBus::SetHangups(int nMinS, int nMaxS)
{
    std::lock_guard lock(m_mutex);
    m_plan.SetHangups(nMinS, nMaxS);
}

bool CSimBus::HasHangups() const
{
    std::lock_guard lock(m_mutex);
    return m_plan.HasHangups();
}

int CSimBus::NextUpS()
{
    std::lock_guard lock(m_mutex);
    return m_plan.NextUpS();
}

int CSimBus::NextDownS()
{
    std::lock_guard lock(m_mutex);
    return m_plan.NextDownS();
}

void CSimBus::SetFaults(const SimFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_options.m_faults = faults;
    m_nReplyCount = 0;
    for (const auto& pModule : m_modules) {
        pModule->SetZtsSupported(!faults.m_bZtsUnsupported);
        pModule->SetUnknownQueries(faults.m_arrUnknownQueries);
        pModule->SetRefusedWrites(faults.m_arrRefusedWrites);
        pModule->SetCaptureDelayMs(faults.m_nCaptureDelayMs);
    }
}

SimFaults CSimBus::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_options.m_faults;
}

SimOptions CSimBus::Options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

QList<int> CSimBus::Addresses() const
{
    std::lock_guard lock(m_mutex);
    QList<int> addresses;
    for (const auto& pModule : m_modules)
        addresses.append(pModule->Address());
    return addresses;
}

bool CSimBus::SetExtraLoad(int nAddress, qint32 nRaw)
{
    std::lock_guard lock(m_mutex);
    CSimModule* pModule = FindLocked(nAddress);
    if (!pModule)
        return false;
    pModule->SetExtraLoad(nRaw);
    return true;
}

bool CSimBus::SetRaw(int nAddress, qint32 nRaw)
{
    std::lock_guard lock(m_mutex);
    CSimModule* pModule = FindLocked(nAddress);
    if (!pModule)
        return false;
    pModule->SetRaw(nRaw);
    return true;
}

bool CSimBus::Snapshot(int nAddress, CSimModule::Params& current, CSimModule::Params& stored,
                       bool& bUnlocked, bool& bNet) const
{
    std::lock_guard lock(m_mutex);
    const CSimModule* pModule = FindLocked(nAddress);
    if (!pModule)
        return false;
    current = pModule->Current();
    stored = pModule->Stored();
    bUnlocked = pModule->IsUnlocked();
    bNet = pModule->IsNet();
    return true;
}

CSimModule* CSimBus::FindLocked(int nAddress) const
{
    for (const auto& pModule : m_modules) {
        if (pModule->Address() == nAddress)
            return pModule.get();
    }
    return nullptr;
}
