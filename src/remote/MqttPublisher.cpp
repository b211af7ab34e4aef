#include "remote/MqttPublisher.h"

#include <QLoggingCategory>

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <cstring>

Q_LOGGING_CATEGORY(lcRemote, "tolvex.remote", QtWarningMsg)

namespace {

constexpr int kKeepAliveS = 30;
constexpr int kLoopMs = 100;
// Messages handed to the client at once; the rest wait in our queue.
constexpr std::size_t kWindow = 100;
constexpr int kConnackTimeoutMs = 10000;
constexpr int kDisconnectLoops = 20;

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

using Clock = std::chrono::steady_clock;

} // namespace

CMqttPublisher::CMqttPublisher()
{
    InitLibrary();
}

CMqttPublisher::~CMqttPublisher()
{
    Stop(0);
}

void CMqttPublisher::Start(const MqttSettings& settings)
{
    Stop(0);
    const std::lock_guard lock(m_mutex);
    m_settings = settings;
    m_statusTopic = (settings.Prefix() + QStringLiteral("/status")).toUtf8();
    m_queue.clear();
    m_inFlight.clear();
    m_bStop = false;
    m_bConnected = false;
    m_bDropLogged = false;
    m_nPublished = 0;
    m_nDropped = 0;
    m_status = Status();
    m_status.m_state = State::Connecting;
    m_thread = std::thread([this] { Run(); });
}

quint64 CMqttPublisher::Stop(int nFlushMs)
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
        m_nFlushMs = nFlushMs;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    const std::lock_guard lock(m_mutex);
    return m_queue.size() + m_inFlight.size();
}

QString CMqttPublisher::Prefix() const
{
    const std::lock_guard lock(m_mutex);
    return m_settings.Prefix();
}

void CMqttPublisher::Publish(const QString& strSubtopic, const QByteArray& payload, bool bRetain)
{
    const std::lock_guard lock(m_mutex);
    if (!m_thread.joinable() || m_bStop)
        return;
    if (m_queue.size() >= std::size_t(qMax(1, m_settings.m_nQueueLimit))) {
        m_queue.pop_front();
        ++m_nDropped;
        if (!m_bDropLogged) {
            m_bDropLogged = true;
            qCWarning(lcRemote, "mqtt: queue of %d full, dropping the oldest messages",
                      m_settings.m_nQueueLimit);
        }
    }
    m_queue.push_back(
        {(m_settings.Prefix() + QLatin1Char('/') + strSubtopic).toUtf8(), payload, bRetain});
    HandOver();
}

void CMqttPublisher::HandOver()
{
    while (m_bConnected && m_pMosq != nullptr && m_inFlight.size() < kWindow && !m_queue.empty()) {
        const Message& message = m_queue.front();
        int nMid = 0;
        const int nRc = mosquitto_publish(
            m_pMosq, &nMid, message.m_topic.constData(), int(message.m_payload.size()),
            message.m_payload.constData(), m_settings.m_nQos, message.m_bRetain);
        if (nRc == MOSQ_ERR_NO_CONN || nRc == MOSQ_ERR_CONN_LOST)
            return;
        if (nRc == MOSQ_ERR_SUCCESS)
            m_inFlight.emplace_back(nMid, message);
        else
            ++m_nDropped; // a message the broker can never take (too large)
        m_queue.pop_front();
    }
}

void CMqttPublisher::RequeueInFlight()
{
    for (auto it = m_inFlight.rbegin(); it != m_inFlight.rend(); ++it)
        m_queue.push_front(std::move(it->second));
    m_inFlight.clear();
}

CMqttPublisher::Status CMqttPublisher::GetStatus() const
{
    const std::lock_guard lock(m_mutex);
    Status status = m_status;
    status.m_nPublished = m_nPublished.load();
    status.m_nDropped = m_nDropped.load();
    status.m_nQueued = m_queue.size() + m_inFlight.size();
    return status;
}

void CMqttPublisher::SetStateListener(StateListener listener)
{
    const std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

void CMqttPublisher::SetState(State state, int nAttempt)
{
    StateListener listener;
    {
        const std::lock_guard lock(m_mutex);
        m_status.m_state = state;
        m_status.m_nAttempt = nAttempt;
        listener = m_listener;
    }
    if (listener)
        listener(GetStatus());
}

void CMqttPublisher::SetError(const QString& strChinese, const QString& strEnglish)
{
    const std::lock_guard lock(m_mutex);
    m_status.m_strError = strChinese;
    m_status.m_strErrorEnglish = strEnglish;
    m_status.m_tError = QDateTime::currentDateTime();
}

QString CMqttPublisher::StateText(const Status& status)
{
    switch (status.m_state) {
    case State::Disconnected:
        return QStringLiteral("未连接");
    case State::Connecting:
        return QStringLiteral("连接中…");
    case State::Connected:
        return QStringLiteral("已连接");
    case State::Reconnecting:
        return QStringLiteral("重新连接中 (第 %1 次)").arg(status.m_nAttempt);
    case State::Refused:
        return status.m_strError;
    }
    return QString();
}

bool CMqttPublisher::WaitRetry(int nMs)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return m_bStop; });
}

void CMqttPublisher::Run()
{
    int nAttempt = 0;
    int nDelayMs = kFirstRetryMs;
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_bStop)
                break;
        }
        SetState(nAttempt == 0 ? State::Connecting : State::Reconnecting, nAttempt);
        MqttSettings settings;
        {
            const std::lock_guard lock(m_mutex);
            settings = m_settings;
            m_nConnackRc = -1;
        }
        mosquitto* pMosq = mosquitto_new(settings.ClientId().toUtf8().constData(), true, this);
        if (pMosq == nullptr) {
            SetError(QStringLiteral("无法创建 MQTT 客户端"),
                     QStringLiteral("cannot create a client"));
            SetState(State::Refused);
            break;
        }
        const bool bAccepted = Connect(pMosq);
        mosquitto_destroy(pMosq);
        int nConnackRc = -1;
        {
            const std::lock_guard lock(m_mutex);
            if (m_bStop)
                break;
            nConnackRc = m_nConnackRc;
        }
        // A refused identity does not get better by asking again.
        if (nConnackRc == 2 || nConnackRc == 4 || nConnackRc == 5) {
            SetState(State::Refused);
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_bStop; });
            return;
        }
        if (bAccepted)
            nDelayMs = kFirstRetryMs;
        SetState(State::Reconnecting, ++nAttempt);
        if (!WaitRetry(nDelayMs))
            break;
        nDelayMs = qMin(nDelayMs * 2, kLastRetryMs);
    }
    SetState(State::Disconnected);
}

bool CMqttPublisher::Connect(mosquitto* pMosq)
{
    MqttSettings settings;
    QByteArray statusTopic;
    {
        const std::lock_guard lock(m_mutex);
        settings = m_settings;
        statusTopic = m_statusTopic;
    }
    mosquitto_threaded_set(pMosq, true);
    mosquitto_int_option(pMosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(pMosq, &CMqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(pMosq, &CMqttPublisher::OnDisconnect);
    mosquitto_publish_callback_set(pMosq, &CMqttPublisher::OnPublish);
    static const char kOffline[] = "offline";
    mosquitto_will_set(pMosq, statusTopic.constData(), int(sizeof kOffline - 1), kOffline,
                       settings.m_nQos, true);
    if (!settings.m_strUser.isEmpty())
        mosquitto_username_pw_set(pMosq, settings.m_strUser.toUtf8().constData(),
                                  settings.m_strPassword.isEmpty()
                                      ? nullptr
                                      : settings.m_strPassword.toUtf8().constData());
    if (settings.m_bTls) {
        // Certificates are read again at every connection.
        const QByteArray ca = settings.m_strCaFile.toLocal8Bit();
        const QByteArray cert = settings.m_strCertFile.toLocal8Bit();
        const QByteArray key = settings.m_strKeyFile.toLocal8Bit();
        const int nRc = mosquitto_tls_set(pMosq, ca.constData(), nullptr,
                                          cert.isEmpty() ? nullptr : cert.constData(),
                                          key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (nRc != MOSQ_ERR_SUCCESS) {
            SetError(QStringLiteral("证书文件无法使用: %1")
                         .arg(QString::fromUtf8(mosquitto_strerror(nRc))),
                     QStringLiteral("certificate files unusable: %1")
                         .arg(QString::fromUtf8(mosquitto_strerror(nRc))));
            return false;
        }
    }
    int nRc = mosquitto_connect_async(pMosq, settings.m_strHost.toUtf8().constData(),
                                      settings.m_nPort, kKeepAliveS);
    const int nConnectErrno = errno;
    if (nRc == MOSQ_ERR_EAI) {
        SetError(QStringLiteral("找不到主机 %1").arg(settings.m_strHost),
                 QStringLiteral("host not found: %1").arg(settings.m_strHost));
        return false;
    }
    if (nRc != MOSQ_ERR_SUCCESS) {
        const bool bRefused = nRc == MOSQ_ERR_ERRNO && nConnectErrno == ECONNREFUSED;
        const QString strDetail = nRc == MOSQ_ERR_ERRNO
                                      ? QString::fromLocal8Bit(std::strerror(nConnectErrno))
                                      : QString::fromUtf8(mosquitto_strerror(nRc));
        SetError(bRefused ? QStringLiteral("连接被拒绝") : QStringLiteral("连接失败: ") + strDetail,
                 bRefused ? QStringLiteral("connection refused") : strDetail);
        return false;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_pMosq = pMosq;
        m_nOfflineMid = -1;
        m_bOfflineDone = false;
    }
    bool bAccepted = false;
    bool bDisconnecting = false;
    int nLoopsAfterDisconnect = 0;
    const Clock::time_point tStart = Clock::now();
    Clock::time_point tFlushEnd;
    for (;;) {
        nRc = mosquitto_loop(pMosq, kLoopMs, 1);
        const int nLoopErrno = errno;
        {
            const std::lock_guard lock(m_mutex);
            bAccepted = bAccepted || m_bConnected;
            if (m_bStop && !m_bConnected)
                break;
            if (m_bStop && !bDisconnecting) {
                if (m_nOfflineMid < 0) {
                    tFlushEnd = Clock::now() + std::chrono::milliseconds(m_nFlushMs);
                    mosquitto_publish(pMosq, &m_nOfflineMid, m_statusTopic.constData(),
                                      int(sizeof kOffline - 1), kOffline, m_settings.m_nQos, true);
                }
                const bool bDrained = m_queue.empty() && m_inFlight.empty() && m_bOfflineDone;
                if (bDrained || Clock::now() >= tFlushEnd) {
                    mosquitto_disconnect(pMosq);
                    bDisconnecting = true;
                }
            }
        }
        if (bDisconnecting && ++nLoopsAfterDisconnect > kDisconnectLoops)
            break;
        if (nRc != MOSQ_ERR_SUCCESS) {
            if (!bDisconnecting)
                ReportLoopError(nRc, nLoopErrno, bAccepted);
            break;
        }
        if (!bAccepted && Clock::now() - tStart > std::chrono::milliseconds(kConnackTimeoutMs)) {
            SetError(QStringLiteral("服务器无应答"), QStringLiteral("no answer from the broker"));
            break;
        }
    }
    const std::lock_guard lock(m_mutex);
    m_pMosq = nullptr;
    m_bConnected = false;
    RequeueInFlight();
    return bAccepted;
}

void CMqttPublisher::ReportLoopError(int nRc, int nErrno, bool bAccepted)
{
    int nConnackRc = -1;
    {
        const std::lock_guard lock(m_mutex);
        nConnackRc = m_nConnackRc;
    }
    switch (nConnackRc) {
    case 1:
        return SetError(QStringLiteral("服务器不支持此协议版本"),
                        QStringLiteral("protocol version refused"));
    case 2:
        return SetError(QStringLiteral("客户端标识被拒绝"), QStringLiteral("client id refused"));
    case 3:
        return SetError(QStringLiteral("服务器不可用"), QStringLiteral("server unavailable"));
    case 4:
        return SetError(QStringLiteral("用户名或密码错误"),
                        QStringLiteral("bad user name or password"));
    case 5:
        return SetError(QStringLiteral("未获授权"), QStringLiteral("not authorised"));
    default:
        break;
    }
    if (nRc == MOSQ_ERR_TLS)
        return SetError(QStringLiteral("服务器证书不受信任"),
                        QStringLiteral("certificate not trusted"));
    if (nRc == MOSQ_ERR_ERRNO && nErrno == ECONNREFUSED)
        return SetError(QStringLiteral("连接被拒绝"), QStringLiteral("connection refused"));
    const QString strDetail = nRc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(nErrno))
                                                    : QString::fromUtf8(mosquitto_strerror(nRc));
    if (bAccepted)
        SetError(QStringLiteral("连接中断: ") + strDetail,
                 QStringLiteral("connection lost: ") + strDetail);
    else
        SetError(QStringLiteral("连接失败: ") + strDetail, strDetail);
}

void CMqttPublisher::OnConnect(mosquitto* pMosq, void* pObj, int nRc)
{
    auto* pThis = static_cast<CMqttPublisher*>(pObj);
    {
        const std::lock_guard lock(pThis->m_mutex);
        pThis->m_nConnackRc = nRc;
        if (nRc != 0)
            return;
        static const char kOnline[] = "online";
        mosquitto_publish(pMosq, nullptr, pThis->m_statusTopic.constData(), int(sizeof kOnline - 1),
                          kOnline, pThis->m_settings.m_nQos, true);
        pThis->m_bConnected = true;
        pThis->m_bDropLogged = false;
        pThis->m_status.m_strError.clear();
        pThis->m_status.m_strErrorEnglish.clear();
        pThis->HandOver();
    }
    pThis->SetState(State::Connected);
}

void CMqttPublisher::OnDisconnect(mosquitto*, void* pObj, int)
{
    auto* pThis = static_cast<CMqttPublisher*>(pObj);
    const std::lock_guard lock(pThis->m_mutex);
    pThis->m_bConnected = false;
}

void CMqttPublisher::OnPublish(mosquitto*, void* pObj, int nMid)
{
    auto* pThis = static_cast<CMqttPublisher*>(pObj);
    const std::lock_guard lock(pThis->m_mutex);
    if (nMid == pThis->m_nOfflineMid) {
        pThis->m_bOfflineDone = true;
        return;
    }
    for (auto it = pThis->m_inFlight.begin(); it != pThis->m_inFlight.end(); ++it) {
        if (it->first == nMid) {
            pThis->m_inFlight.erase(it);
            ++pThis->m_nPublished;
            pThis->HandOver();
            return;
        }
    }
}
