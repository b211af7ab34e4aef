// A deliberate data race between a worker thread and a timer callback on the
// UI thread. Built only under ThreadSanitizer, where it must be reported: it
// proves the suppressions leave our own code visible.
#include <QCoreApplication>
#include <QTimer>

#include <thread>

namespace {
int g_nShared = 0; // deliberately not atomic
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::thread writer([] {
        for (int i = 0; i < 1000; ++i)
            ++g_nShared;
    });
    int nSeen = 0;
    QTimer::singleShot(50, &app, [&] {
        nSeen = g_nShared;
        app.quit();
    });
    app.exec();
    writer.join();
    return nSeen >= 0 ? 0 : 1;
}
