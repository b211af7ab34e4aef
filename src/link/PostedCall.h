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
    template <typename Sender, typename Signal, typename Receiver, typename Slot>
    static QMetaObject::Connection Connect(const Sender* pSender, Signal signal,
                                           Receiver* pReceiver, Slot slot)
    {
        return QObject::connect(
            pSender, signal, pReceiver,
            [pReceiver, slot](const auto&... args) {
                Post(pReceiver, [pReceiver, slot, args...] {
                    if constexpr (std::is_member_function_pointer_v<Slot>)
                        std::invoke(slot, pReceiver, args...);
                    else
                        std::invoke(slot, args...);
                });
            },
            Qt::DirectConnection);
    }

private:
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
#endif
};
