#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A serial device the test scripts byte by byte: the master side of a
// pseudo-terminal whose slave the bus link opens. Each complete command frame
// (the tool ends every frame with ';' and then waits) is handed to the
// responder, which answers with writes of its own choosing.
class CFakeDevice
{
public:
    struct Write
    {
        QByteArray m_bytes;
        int m_nDelayMs = 0; // pause before this write
    };
    using Responder = std::function<QList<Write>(const QByteArray& frame)>;

    CFakeDevice();
    ~CFakeDevice();

    QString SlavePath() const { return m_strSlavePath; }
    void SetResponder(Responder responder);
    // Bytes written straight to the tool, outside any exchange.
    void Inject(const QByteArray& bytes);
    // Closes the master side: the device vanishes as an unplugged adapter does.
    void Vanish();
    QList<QByteArray> Frames() const;
    int FrameCount() const;

private:
    void Serve();

    int m_nMaster = -1;
    int m_nSlaveKeep = -1;
    QString m_strSlavePath;
    std::atomic<bool> m_bStop{false};
    mutable std::mutex m_mutex;
    Responder m_responder;
    QList<QByteArray> m_frames;
    std::thread m_thread;
};
