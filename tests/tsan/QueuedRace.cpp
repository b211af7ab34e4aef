// A deliberate data race through a queued signal, the way workers hand their
// results to pages: the worker writes a value, emits, and writes it again; the
// slot on the main thread reads it. Built only under ThreadSanitizer, where
// the second write must be reported: the hand-over makes the first write
// visible to the slot, and nothing may make the second one so.
#include "link/PostedCall.h"

#include <QCoreApplication>

#include <thread>

class CReporter : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void Ready();
};

namespace {
int g_nShared = 0; // deliberately not atomic
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CReporter reporter;
    int nSeen = 0;
    CPostedCall::Connect(&reporter, &CReporter::Ready, &app, [&] {
        nSeen = g_nShared;
        app.quit();
    });
    std::thread worker([&] {
        g_nShared = 1;
        Q_EMIT reporter.Ready();
        for (int i = 0; i < 1000; ++i)
            ++g_nShared;
    });
    app.exec();
    worker.join();
    return nSeen >= 0 ? 0 : 1;
}

#include "QueuedRace.moc"
