#pragma once

#include "remote/MqttSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct mosquitto;

// Publishes messages to one MQTT broker (libmosquitto) from a thread of its
// own. Publish only queues: no caller ever waits on the network. The queue is
// bounded; when it is full the oldest message is dropped and counted. While
// the broker is away the queue keeps what comes, and the thread connects again
// after 1 s, doubling up to 30 s; messages go out in the order they came, and
// those sent but not acknowledged when a connection ends are sent again first.
//
// The status topic holds "online" (retained) while connected; the broker
// publishes the retained last will "offline" when the connection dies, and a
// clean Stop publishes "offline" itself. A broker's refusal of the name,
// password or authorisation ends the attempts until the next Start.
class CMqttPublisher
{
public:
    enum class State
    {
        Disconnected,
        Connecting,
        Connected,
        Reconnecting,
        Refused,
    };

    struct Status
    {
        State m_state = State::Disconnected;
        int m_nAttempt = 0; // of reconnection, from 1
        // Why the last attempt failed or the connection ended, in words.
        QString m_strError;
        QString m_strErrorEnglish;
        QDateTime m_tError;
        quint64 m_nPublished = 0;
        quint64 m_nQueued = 0;
        quint64 m_nDropped = 0;
    };

    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 30000;

    CMqttPublisher();
    ~CMqttPublisher();

    CMqttPublisher(const CMqttPublisher&) = delete;
    CMqttPublisher& operator=(const CMqttPublisher&) = delete;

    // Starts connecting with these settings (checked by the caller). A running
    // publisher is stopped first. The counters and the queue start afresh.
    void Start(const MqttSettings& settings);
    // Publishes "offline", waits at most nFlushMs for the queue to empty while
    // connected, then disconnects and joins the thread. Returns the messages
    // not delivered (left in the queue or not acknowledged).
    quint64 Stop(int nFlushMs = 2000);
    bool IsRunning() const { return m_thread.joinable(); }

    // Any thread. Queues one message under the prefix ("PREFIX/" + strSubtopic).
    void Publish(const QString& strSubtopic, const QByteArray& payload, bool bRetain);
    QString Prefix() const;

    Status GetStatus() const;
    // Any thread; called on the publisher's thread whenever the state changes.
    using StateListener = std::function<void(const Status& status)>;
    void SetStateListener(StateListener listener);

    static QString StateText(const Status& status);

private:
    struct Message
    {
        QByteArray m_topic;
        QByteArray m_payload;
        bool m_bRetain = false;
    };

    void Run();
    // One connection attempt and its life; true when the broker accepted it.
    bool Connect(mosquitto* pMosq);
    void HandOver(); // with m_mutex held
    void RequeueInFlight();
    void ReportLoopError(int nRc, int nErrno, bool bAccepted);
    void SetState(State state, int nAttempt = 0);
    void SetError(const QString& strChinese, const QString& strEnglish);
    bool WaitRetry(int nMs);

    static void OnConnect(mosquitto* pMosq, void* pObj, int nRc);
    static void OnDisconnect(mosquitto* pMosq, void* pObj, int nRc);
    static void OnPublish(mosquitto* pMosq, void* pObj, int nMid);

    MqttSettings m_settings;
    QByteArray m_statusTopic;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Message> m_queue;
    // Handed to the client and not yet acknowledged, in the order handed over.
    std::deque<std::pair<int, Message>> m_inFlight;
    mosquitto* m_pMosq = nullptr; // set while a connection is up
    bool m_bConnected = false;
    bool m_bStop = false;
    int m_nFlushMs = 0;
    int m_nOfflineMid = -1;
    bool m_bOfflineDone = false;
    int m_nConnackRc = -1;
    Status m_status;
    StateListener m_listener;

    std::atomic<quint64> m_nPublished{0};
    std::atomic<quint64> m_nDropped{0};
    bool m_bDropLogged = false;

    std::thread m_thread;
};
