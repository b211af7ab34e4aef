#include "link/BusPortWorker.h"

#include "link/LinkLog.h"
#include "link/PortOpenFailure.h"

#include <QTimer>

namespace {

const char* ReasonText(CReplyCollector::Reason reason)
{
    switch (reason) {
    case CReplyCollector::Reason::Count:
        return "count";
    case CReplyCollector::Reason::CrLf:
        return "CR LF";
    case CReplyCollector::Reason::Incomplete:
        return "incomplete";
    case CReplyCollector::Reason::None:
        break;
    }
    return "none";
}

} // namespace

CBusPortWorker::CBusPortWorker(const std::atomic<int>& bTerminalShown)
    : m_bTerminalShown(bTerminalShown)
{
}

CBusPortWorker::~CBusPortWorker() = default;

void CBusPortWorker::Init()
{
    m_pPauseTimer = new QTimer(this);
    m_pPauseTimer->setInterval(CReplyCollector::kPauseMs);
    m_pPauseTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pPauseTimer, &QTimer::timeout, this, &CBusPortWorker::OnTick);
    m_pRetryTimer = new QTimer(this);
    m_pRetryTimer->setInterval(kRetryIntervalMs);
    connect(m_pRetryTimer, &QTimer::timeout, this, &CBusPortWorker::OnRetry);
}

void CBusPortWorker::Shutdown()
{
    Close();
    delete m_pPauseTimer;
    m_pPauseTimer = nullptr;
    delete m_pRetryTimer;
    m_pRetryTimer = nullptr;
}

void CBusPortWorker::SetTransportFactory(BusTransportFactory factory)
{
    m_factory = std::move(factory);
}

bool CBusPortWorker::Open(const QString& strDevice, const ComSettings& settings,
                          CPortOpenFailure& failure)
{
    // A page that asks for the lost device again while it is still gone does
    // not end the wait for it; another device or other settings do.
    const bool bStillWaiting =
        m_pRetryTimer->isActive() && strDevice == m_strDevice && settings == m_settings;
    Close();
    if (!OpenTransport(strDevice, settings, kOpenWaitMs, failure)) {
        qCDebug(lcLink, "open failed: %s", qUtf8Printable(failure.Text()));
        if (bStillWaiting) {
            m_pRetryTimer->start();
            qCDebug(lcLink, "still waiting for %s to come back", qUtf8Printable(m_strDevice));
        }
        return false;
    }
    qCDebug(lcLink, "opened %s at %s", qUtf8Printable(strDevice),
            settings.SettingsText().constData());
    return true;
}

bool CBusPortWorker::OpenTransport(const QString& strDevice, const ComSettings& settings,
                                   int nWaitMs, CPortOpenFailure& failure)
{
    m_strDevice = strDevice;
    m_settings = settings;
    std::unique_ptr<CBusTransport> pTransport = m_factory ? m_factory(strDevice) : nullptr;
    if (!pTransport)
        pTransport = CBusTransport::ForDevice(strDevice);
    if (!pTransport->Open(strDevice, nWaitMs, failure))
        return false;
    const QString strRefused = pTransport->ApplyLineSettings(settings);
    if (!strRefused.isEmpty()) {
        pTransport->Close();
        failure = CPortOpenFailure::Refused(strDevice, strRefused);
        return false;
    }
    CBusTransport* pRaw = pTransport.get();
    connect(pRaw, &CBusTransport::ReadyRead, this, &CBusPortWorker::OnReadyRead);
    connect(pRaw, &CBusTransport::BytesWritten, this, &CBusPortWorker::UpdatePortOutput);
    // Queued: the transport is closed and deleted here, never inside its own signal.
    connect(
        pRaw, &CBusTransport::Lost, this,
        [this, pRaw](const QString& strReason) {
            if (m_pTransport.get() == pRaw)
                LoseDevice(strReason);
        },
        Qt::QueuedConnection);
    m_pTransport = std::move(pTransport);
    // Start with an empty receive buffer.
    DropInput("on open");
    m_bOpen.store(true);
    return true;
}

void CBusPortWorker::Close()
{
    if (m_pRetryTimer && m_pRetryTimer->isActive()) {
        m_pRetryTimer->stop();
        qCDebug(lcLink, "no longer waiting for %s", qUtf8Printable(m_strDevice));
    }
    CloseTransport();
}

void CBusPortWorker::CloseTransport()
{
    if (m_pPauseTimer)
        m_pPauseTimer->stop();
    m_collector.Start(m_collector.ExpectedLen());
    FailArmedExchange();
    if (m_pTransport) {
        m_pTransport->disconnect(this);
        m_pTransport->Close();
        m_pTransport.reset();
        qCDebug(lcLink, "closed %s", qUtf8Printable(m_strDevice));
    }
    m_bOpen.store(false);
    m_nPortOutput.store(0);
}

void CBusPortWorker::Write(const QByteArray& bytes)
{
    if (!m_pTransport)
        return;
    qCDebug(lcLink, "sent %s", LinkLogBytes(bytes).constData());
    m_pTransport->Write(bytes);
    UpdatePortOutput();
}

void CBusPortWorker::StartExchange(quint64 nTicket, const QByteArray& command, int nExpectedLen)
{
    m_pPauseTimer->stop();
    m_collector.Start(nExpectedLen);
    if (!m_pTransport) {
        // Closed between the caller's look and now: nothing can answer.
        Q_EMIT ExchangeFailed(nTicket);
        return;
    }
    DropInput("before an exchange");
    m_nArmedTicket = nTicket;
    Write(command);
}

void CBusPortWorker::OnReadyRead()
{
    if (!m_pTransport)
        return;
    const QByteArray bytes = m_pTransport->ReadAll();
    if (bytes.isEmpty())
        return;
    if (m_bTerminalShown.load()) {
        m_pPauseTimer->stop();
        Q_EMIT TerminalData(m_collector.Take() + bytes);
        return;
    }
    const bool bWasTicking = m_collector.IsTicking();
    const CReplyCollector::Verdict verdict = m_collector.Feed(bytes);
    if (!bWasTicking && verdict == CReplyCollector::Verdict::KeepWaiting)
        m_pPauseTimer->start();
    Act(verdict);
}

void CBusPortWorker::OnTick()
{
    QString strReason;
    if (m_pTransport && m_pTransport->HungUp(strReason)) {
        LoseDevice(strReason);
        return;
    }
    Act(m_collector.Tick());
}

void CBusPortWorker::Act(CReplyCollector::Verdict verdict)
{
    if (verdict == CReplyCollector::Verdict::KeepWaiting)
        return;
    m_pPauseTimer->stop();
    const int nTicks = m_collector.Ticks();
    const char* pszReason = ReasonText(m_collector.LastReason());
    const QByteArray bytes = m_collector.Take();
    if (verdict == CReplyCollector::Verdict::Discard) {
        qCDebug(lcLink, "discarded (%s after %d ticks): %s", pszReason, nTicks,
                LinkLogBytes(bytes).constData());
        m_pTransport->Clear();
        UpdatePortOutput();
        return;
    }
    if (m_nArmedTicket == 0) {
        qCDebug(lcLink, "dropped, no exchange waits (%s after %d ticks): %s", pszReason, nTicks,
                LinkLogBytes(bytes).constData());
        return;
    }
    qCDebug(lcLink, "reply (%s after %d ticks): %s", pszReason, nTicks,
            LinkLogBytes(bytes).constData());
    const quint64 nTicket = m_nArmedTicket;
    m_nArmedTicket = 0;
    Q_EMIT ReplyCompleted(nTicket, bytes);
}

void CBusPortWorker::LoseDevice(const QString& strReason)
{
    qCDebug(lcLink, "hang-up on %s: %s", qUtf8Printable(m_strDevice), qUtf8Printable(strReason));
    // Closed for every reader before anyone hears of it, so that a caller woken
    // by the failed exchange finds the loss reported already.
    m_bOpen.store(false);
    Q_EMIT Lost(strReason);
    const bool bComesBack = m_pTransport->ComesBackUnderItsName();
    CloseTransport();
    if (!bComesBack) {
        qCDebug(lcLink, "%s names no device that can come back", qUtf8Printable(m_strDevice));
        return;
    }
    m_bRetryFailureLogged = false;
    m_pRetryTimer->start();
    qCDebug(lcLink, "waiting for %s to come back", qUtf8Printable(m_strDevice));
}

void CBusPortWorker::OnRetry()
{
    CPortOpenFailure failure;
    if (!OpenTransport(m_strDevice, m_settings, kRetryWaitMs, failure)) {
        // Once per loss: the attempts go on every second.
        if (!m_bRetryFailureLogged)
            qCDebug(lcLink, "not back yet: %s", qUtf8Printable(failure.Text()));
        m_bRetryFailureLogged = true;
        return;
    }
    m_pRetryTimer->stop();
    qCDebug(lcLink, "reconnected %s at %s", qUtf8Printable(m_strDevice),
            m_settings.SettingsText().constData());
    Q_EMIT Reconnected();
}

void CBusPortWorker::DropInput(const char* pszWhen)
{
    const QByteArray stale = m_collector.Take() + m_pTransport->DropInput();
    if (!stale.isEmpty())
        qCDebug(lcLink, "stale input dropped %s: %s", pszWhen, LinkLogBytes(stale).constData());
}

void CBusPortWorker::FailArmedExchange()
{
    if (m_nArmedTicket == 0)
        return;
    const quint64 nTicket = m_nArmedTicket;
    m_nArmedTicket = 0;
    Q_EMIT ExchangeFailed(nTicket);
}

void CBusPortWorker::UpdatePortOutput()
{
    m_nPortOutput.store(m_pTransport ? m_pTransport->BytesToWrite() : 0);
}
