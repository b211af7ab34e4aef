#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

// Every call that one of our threads hands to another goes through here:
// results of workers to their pages, the link's own calls to its I/O thread,
// signals that cross threads.
//
// Qt hands a queued call over under its own event-queue lock, a futex that
// ThreadSanitizer cannot see. Under the sanitizer the poster holds a mutex of
// ours while it posts, and the call takes it before it touches anything: what
// the poster wrote before and while posting is seen to happen before the
// call, and a race with anything the poster does afterwards is still reported
// (unless the same thread posts again before the call runs). A call that Qt
// drops undelivered takes the mutex before its captures are destroyed. The
// mutex is one for all calls: the call must find it without reading its own
// captures, which Qt wrote under its own lock.
class CPostedCall
{
public:
    // Runs fn on the thread of pContext, later; dropped when pContext goes first.
    template <typename Fn> static void Post(QObject* pContext, Fn&& fn)
    {
#if defined(__SANITIZE_THREAD__)
        std::lock_guard posting(HandOver());
        QMetaObject::invokeMethod(pContext, CHandedOver<std::decay_t<Fn>>(std::forward<Fn>(fn)),
                                  Qt::QueuedConnection);
#else
        QMetaObject::invokeMethod(pContext, std::forward<Fn>(fn), Qt::QueuedConnection);
#endif
    }

    // Runs fn on the thread of pContext and waits for it; runs it at once when
    // called on that thread. Returns at once as well when pContext goes first.
    template <typename Fn> static void Blocking(QObject* pContext, Fn&& fn)
    {
        if (QThread::currentThread() == pContext->thread()) {
            fn();
            return;
        }
        auto pDone = std::make_shared<std::promise<void>>();
        std::future<void> done = pDone->get_future();
        Post(pContext, [&fn, pDone] {
            fn();
            pDone->set_value();
        });
        pDone.reset();
        done.wait();
    }

    // Connects signal to slot so that every emission, on whatever thread, is
    // posted to pReceiver's thread with copies of its arguments. slot is a
    // member function of Receiver or any callable.
    //
    // The emission runs on the sender's thread while pReceiver may be going on
    // its own. The connection therefore belongs to the sender: Qt (before 6.6)
    // may free a direct connection's functor that belongs to a receiver going
    // on another thread while an emission is about to call it. pReceiver's
    // destruction closes a gate, which keeps an emission already under way
    // from posting to a receiver that is gone, and then disconnects.
    template <typename Sender, typename Signal, typename Receiver, typename Slot>
    static QMetaObject::Connection Connect(const Sender* pSender, Signal signal,
                                           Receiver* pReceiver, Slot slot)
    {
        auto pGate = std::make_shared<CReceiverGate>();
        auto post = [pGate, pReceiver, slot](const auto&... args) {
            pGate->WhileOpen([&] {
                Post(pReceiver, [pReceiver, slot, args...] {
                    if constexpr (std::is_member_function_pointer_v<Slot>)
                        std::invoke(slot, pReceiver, args...);
                    else
                        std::invoke(slot, args...);
                });
            });
        };
        QMetaObject::Connection connection;
        {
#if defined(__SANITIZE_THREAD__)
            std::lock_guard connecting(HandOver());
            connection = QObject::connect(pSender, signal, CHandedOverSlot(std::move(post)));
#else
            connection = QObject::connect(pSender, signal, std::move(post));
#endif
        }
        QObject::connect(pReceiver, &QObject::destroyed, [pGate, connection] {
            pGate->Close();
            QObject::disconnect(connection);
        });
        return connection;
    }

private:
    // Open while the receiver of one connection lives.
    class CReceiverGate
    {
    public:
        template <typename Fn> void WhileOpen(Fn&& fn)
        {
            std::lock_guard lock(m_mutex);
            if (m_bOpen)
                fn();
        }
        void Close()
        {
            std::lock_guard lock(m_mutex);
            m_bOpen = false;
        }

    private:
        std::mutex m_mutex;
        bool m_bOpen = true;
    };

#if defined(__SANITIZE_THREAD__)
    // Recursive: the poster still holds it when Qt drops the moved-from copy.
    static std::recursive_mutex& HandOver()
    {
        static std::recursive_mutex s_mutex;
        return s_mutex;
    }

    // The posted call, which takes the mutex both before it runs and before
    // its captures go; a call Qt drops undelivered (its receiver went first)
    // is destroyed on the receiver's thread without ever running.
    template <typename Fn> class CHandedOver
    {
    public:
        explicit CHandedOver(Fn&& fn) : m_fn(std::move(fn)) {}
        explicit CHandedOver(const Fn& fn) : m_fn(fn) {}
        CHandedOver(CHandedOver&&) = default;
        CHandedOver(const CHandedOver&) = delete;
        CHandedOver& operator=(const CHandedOver&) = delete;
        CHandedOver& operator=(CHandedOver&&) = delete;
        // The captures go after the body, seen to follow the poster's writes.
        ~CHandedOver() { Synchronise(); }

        void operator()()
        {
            Synchronise();
            m_fn();
        }

    private:
        static void Synchronise() { std::lock_guard posted(HandOver()); }

        Fn m_fn;
    };

    // The connected slot under the sanitizer. Qt publishes a new connection to
    // the emitting thread, and destroys a disconnected one after its last
    // emission, through atomics of its own that the sanitizer cannot see: the
    // slot runs under the mutex that Connect holds while connecting and that
    // the slot's destruction takes first.
    template <typename Fn> class CHandedOverSlot
    {
    public:
        explicit CHandedOverSlot(Fn&& fn) : m_fn(std::move(fn)) {}
        CHandedOverSlot(CHandedOverSlot&&) = default;
        CHandedOverSlot(const CHandedOverSlot&) = delete;
        CHandedOverSlot& operator=(const CHandedOverSlot&) = delete;
        CHandedOverSlot& operator=(CHandedOverSlot&&) = delete;
        ~CHandedOverSlot() { std::lock_guard going(HandOver()); }

        template <typename... Args> void operator()(const Args&... args)
        {
            std::lock_guard emitting(HandOver());
            m_fn(args...);
        }

    private:
        Fn m_fn;
    };
#endif
};
