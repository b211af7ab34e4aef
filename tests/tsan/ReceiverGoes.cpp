// Receivers destroyed on the main thread while another thread keeps emitting
// the signal connected to them. No post may reach a receiver that is gone (a
// crash, or a report under AddressSanitizer), and ThreadSanitizer must see
// each connection go after the last emission that used it. Built in every
// build.
#include "link/PostedCall.h"

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class CSource : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void Fired(const QString& strText);
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CSource source;
    std::atomic<bool> bStop{false};
    std::atomic<int> nEmitted{0};
    std::thread emitter([&] {
        const QString strText = QStringLiteral("weight");
        while (!bStop.load()) {
            Q_EMIT source.Fired(strText);
            nEmitted.fetch_add(1);
        }
    });
    qsizetype nDelivered = 0;
    for (int nRound = 0; nRound < 300; ++nRound) {
        auto pReceiver = std::make_unique<QObject>();
        CPostedCall::Connect(
            &source, &CSource::Fired, pReceiver.get(),
            [&nDelivered](const QString& strText) { nDelivered += strText.size(); });
        const int nFrom = nEmitted.load();
        while (nEmitted.load() < nFrom + 20)
            std::this_thread::yield();
        QCoreApplication::processEvents();
        pReceiver.reset();
    }
    bStop.store(true);
    emitter.join();
    QCoreApplication::processEvents();
    return nDelivered > 0 ? 0 : 1;
}

#include "ReceiverGoes.moc"
