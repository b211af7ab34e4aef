#pragma once

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

// Hands a call to the thread of pContext, as a queued call does; the call is
// dropped when pContext goes first. Workers hand their results to their pages
// through it and through nothing else.
//
// Qt hands a queued call over under its own event-queue lock, a futex that
// ThreadSanitizer cannot see. Under the sanitizer the post and the call also
// take one mutex of ours, so that what the poster wrote before and while
// posting is seen to happen before the call, and a race with anything the
// poster does afterwards is still reported.
class CPostedCall
{
public:
    template <typename Fn> static void Post(QObject* pContext, Fn&& fn)
    {
#if defined(__SANITIZE_THREAD__)
        std::lock_guard lock(HandOver());
        QMetaObject::invokeMethod(
            pContext,
            [fn = std::forward<Fn>(fn)]() mutable {
                {
                    std::lock_guard handOver(HandOver());
                }
                fn();
            },
            Qt::QueuedConnection);
#else
        QMetaObject::invokeMethod(pContext, std::forward<Fn>(fn), Qt::QueuedConnection);
#endif
    }

private:
#if defined(__SANITIZE_THREAD__)
    static std::mutex& HandOver()
    {
        static std::mutex s_mutex;
        return s_mutex;
    }
#endif
};
