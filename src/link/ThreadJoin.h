#pragma once

#include <QDeadlineTimer>
#include <QThread>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* pAddress);
extern "C" void __tsan_release(void* pAddress);
#endif

// QThread's wait is Qt's own join under a futex, which ThreadSanitizer cannot
// see: without these, whatever the ended thread wrote looks unordered with
// what its owner does after the wait (freeing it, reusing its memory).
class CThreadJoin
{
public:
    // Once, before the thread starts: its end is published as it finishes.
    static void Watch(QThread& thread)
    {
#if defined(__SANITIZE_THREAD__)
        QObject::connect(
            &thread, &QThread::finished, &thread, [pThread = &thread] { __tsan_release(pThread); },
            Qt::DirectConnection);
#else
        Q_UNUSED(thread);
#endif
    }

    // QThread::wait; once it returns true, the thread's work is ordered before
    // what follows.
    static bool Wait(QThread& thread,
                     QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever))
    {
        const bool bEnded = thread.wait(deadline);
#if defined(__SANITIZE_THREAD__)
        if (bEnded)
            __tsan_acquire(&thread);
#endif
        return bEnded;
    }
};
