#include "terminal/TerminalInbox.h"

#include "link/PostedCall.h"

CTerminalInbox::CTerminalInbox(QObject* pTarget, Handler handler)
    : m_pTarget(pTarget), m_handler(std::move(handler))
{
}

void CTerminalInbox::Push(const QByteArray& block)
{
    std::lock_guard lock(m_mutex);
    if (m_pTarget == nullptr || block.isEmpty())
        return;
    m_pending.append(block.constData(), size_t(block.size()));
    if (m_bPosted)
        return;
    m_bPosted = true;
    CPostedCall::Post(m_pTarget, [this] { Deliver(); });
}

void CTerminalInbox::Discard()
{
    std::lock_guard lock(m_mutex);
    m_pending.clear();
}

void CTerminalInbox::Detach()
{
    std::lock_guard lock(m_mutex);
    m_pTarget = nullptr;
    m_pending.clear();
}

void CTerminalInbox::Deliver()
{
    std::string data;
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        m_bPosted = false;
        data.swap(m_pending);
        handler = m_handler;
    }
    if (!data.empty() && handler)
        handler(QByteArray(data.data(), qsizetype(data.size())));
}
