#include "uikit/PageContext.h"

#include "link/PostedCall.h"

#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>

CPageContext::CPageContext() : m_pUiAnchor(std::make_unique<QObject>()) {}

CPageContext::~CPageContext() = default;

void CPageContext::SetStatusText(const QString& strText)
{
    if (QThread::currentThread() == m_pUiAnchor->thread())
        DoSetStatusText(strText);
    else
        CPostedCall::Post(m_pUiAnchor.get(), [this, strText] { DoSetStatusText(strText); });
}

void CPageContext::SetRecordingFile(const QString& strFile)
{
    if (QThread::currentThread() == m_pUiAnchor->thread())
        DoSetRecordingFile(strFile);
    else
        CPostedCall::Post(m_pUiAnchor.get(), [this, strFile] { DoSetRecordingFile(strFile); });
}

void CPageContext::ReportPortLoss()
{
    CPostedCall::Connect(&BusLink(), &CBusLink::PortLost, m_pUiAnchor.get(),
                         [this](const QString& strReason) {
                             const QString strText = QString::fromUtf8("串口%1已断开: %2")
                                                         .arg(BusLink().m_comSettings.m_nPort)
                                                         .arg(strReason);
                             DoSetStatusText(strText);
                             DoShowMessage(strText);
                         });
    // The link reopens a lost device by itself; the shown page goes on with it.
    CPostedCall::Connect(&BusLink(), &CBusLink::PortReconnected, m_pUiAnchor.get(), [this] {
        DoSetStatusText(QString::fromUtf8("串口%1已重新连接").arg(BusLink().m_comSettings.m_nPort));
    });
}

void CPageContext::ShowMessage(const QString& strText)
{
    DoShowMessage(strText);
}

bool CPageContext::ShowMessageFromWorker(const QString& strText, const std::atomic<bool>& bStop)
{
    if (QThread::currentThread() == m_pUiAnchor->thread()) {
        DoShowMessage(strText);
        return true;
    }
    // Shared with the queued call, which may run after this worker gave up.
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable closed;
        bool bClosed = false;
    };
    auto pShared = std::make_shared<Shared>();
    CPostedCall::Post(m_pUiAnchor.get(), [this, strText, pShared] {
        DoShowMessage(strText);
        std::lock_guard lock(pShared->mutex);
        pShared->bClosed = true;
        pShared->closed.notify_all();
    });
    std::unique_lock lock(pShared->mutex);
    while (!pShared->bClosed) {
        if (bStop.load())
            return false;
        pShared->closed.wait_for(lock, std::chrono::milliseconds(50));
    }
    return true;
}
