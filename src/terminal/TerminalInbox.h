#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <mutex>
#include <string>

// Hands received blocks from the link's I/O thread to the page's thread.
// Push appends to one pending buffer and posts at most one queued call to the
// target; that call takes everything pending, in arrival order, and passes
// it to the handler. After Detach no call reaches the target any more, so the
// page may go while the link still holds the inbox.
class CTerminalInbox
{
public:
    using Handler = std::function<void(const QByteArray& data)>;

    // pTarget lives on the receiving thread and outlives every posted call
    // (calls posted to it are dropped with it).
    CTerminalInbox(QObject* pTarget, Handler handler);

    CTerminalInbox(const CTerminalInbox&) = delete;
    CTerminalInbox& operator=(const CTerminalInbox&) = delete;

    // Any thread.
    void Push(const QByteArray& block);
    // Receiving thread: drops what is pending (the page was emptied).
    void Discard();
    // Receiving thread, before the target goes.
    void Detach();

private:
    void Deliver();

    std::mutex m_mutex;
    QObject* m_pTarget;
    Handler m_handler;
    // Bytes copied out of the received blocks: a block's own buffer, which
    // the I/O thread still shares, never reaches the receiving thread.
    std::string m_pending;
    bool m_bPosted = false;
};
