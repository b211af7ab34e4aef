#include "app/WindowContext.h"

#include "link/BusLink.h"
#include "link/PostedCall.h"
#include "session/Session.h"
#include "uikit/AppPath.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

CWindowContext::CWindowContext(CSession& session, QWidget* pBoxParent)
    : m_session(session), m_pBoxParent(pBoxParent)
{
    BusLink().SetOpenFailureReporter([this](const QString& strMessage) {
        if (QThread::currentThread() == thread())
            DoShowMessage(strMessage);
        else
            CPostedCall::Post(this, [this, strMessage] { DoShowMessage(strMessage); });
    });
    ReportPortLoss();
}

CWindowContext::~CWindowContext()
{
    BusLink().SetOpenFailureReporter(nullptr);
}

CBusLink& CWindowContext::BusLink()
{
    return m_session.BusLink();
}

PlotSettings CWindowContext::GetPlotSettings() const
{
    return m_session.GetPlotSettings();
}

QString CWindowContext::ProgramDirectory() const
{
    return CAppPath::DataFolder();
}

void CWindowContext::DoSetStatusText(const QString& strText)
{
    emit StatusTextChanged(strText);
}

void CWindowContext::DoSetRecordingFile(const QString& strFile)
{
    emit RecordingFileChanged(strFile);
}

void CWindowContext::DoShowMessage(const QString& strText)
{
    // Over an open modal dialog (the manual linearisation's), the box is its child.
    QWidget* pModal = QApplication::activeModalWidget();
    QMessageBox::warning(pModal ? pModal : m_pBoxParent.data(), QCoreApplication::applicationName(),
                         strText);
}
