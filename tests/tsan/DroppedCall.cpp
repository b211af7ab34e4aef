// A call posted to an object that goes before the call runs: Qt destroys the
// call undelivered, captures and all, on the receiver's thread. The poster's
// writes must be seen to happen before that, as before a call that runs; the
// poster and the receiver share no other synchronisation here (the flag is
// relaxed), so a report fails the test.
#include "link/PostedCall.h"

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto pReceiver = std::make_unique<QObject>();
    std::atomic<bool> bPosted{false};
    std::thread poster([&bPosted, pTarget = pReceiver.get(), argc] {
        const QString text = QString::number(argc).repeated(64);
        CPostedCall::Post(pTarget, [text] { return text.size(); });
        bPosted.store(true, std::memory_order_relaxed);
    });
    while (!bPosted.load(std::memory_order_relaxed))
        std::this_thread::yield();
    pReceiver.reset();
    poster.join();
    return 0;
}
