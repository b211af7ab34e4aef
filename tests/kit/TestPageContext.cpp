#include "TestPageContext.h"

CTestPageContext::CTestPageContext(const SimOptions& options, const QString& strLinkPath)
    : m_pSimulator(std::make_unique<CPtySimulator>(options)), m_pLink(std::make_unique<CBusLink>())
{
    m_strDevice = m_pSimulator->Start(strLinkPath);
    if (!m_strDevice.isEmpty() && !strLinkPath.isEmpty())
        m_strDevice = strLinkPath;
    m_strProgramDir = m_programDir.path() + QLatin1Char('/');
    const QString strDevice = m_strDevice;
    m_pLink->SetDeviceResolver([strDevice](int) { return strDevice; });
    m_pLink->SetOpenFailureReporter([this](const QString& strMessage) { ShowMessage(strMessage); });
    ReportPortLoss();
}

CTestPageContext::~CTestPageContext()
{
    m_pLink->SetOpenFailureReporter(nullptr);
    m_pLink.reset();
    m_pSimulator.reset();
}

QStringList CTestPageContext::StatusTexts() const
{
    std::lock_guard lock(m_mutex);
    return m_arrStatus;
}

QStringList CTestPageContext::Messages() const
{
    std::lock_guard lock(m_mutex);
    return m_arrMessages;
}

void CTestPageContext::ClearRecorded()
{
    std::lock_guard lock(m_mutex);
    m_arrStatus.clear();
    m_arrMessages.clear();
}

void CTestPageContext::DoSetStatusText(const QString& strText)
{
    std::lock_guard lock(m_mutex);
    m_arrStatus.append(strText);
}

void CTestPageContext::DoShowMessage(const QString& strText)
{
    {
        std::lock_guard lock(m_mutex);
        m_arrMessages.append(strText);
    }
    if (m_messageHook)
        m_messageHook(strText);
}
