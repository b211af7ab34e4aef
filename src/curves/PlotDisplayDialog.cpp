#include "curves/PlotDisplayDialog.h"

#include "link/MeasuredValuePoll.h"
#include "link/PostedCall.h"
#include "module/ModuleCommand.h"

#include <QFileInfo>

#include <cstdio>

CPlotDisplayDialog::CPlotDisplayDialog(CPageContext& context, QWidget* parent)
    : CCurvePage(context, parent), m_worker([this] { Run(); })
{
    m_plot.Create(*this);
    m_plot.AddCurve(0, qRgb(0, 255, 0), 1);
    m_plot.ShowStatistics(false);
    OnRangeChanged();
    // Shown while the device was gone: the page starts once the link has it back.
    CPostedCall::Connect(&Context().BusLink(), &CBusLink::PortReconnected, this, [this] {
        if (isVisible() && !IsRunning())
            Start();
    });
}

CPlotDisplayDialog::~CPlotDisplayDialog()
{
    StopWorker();
}

void CPlotDisplayDialog::OnRangeChanged()
{
    m_plot.SetRange(MaxY(), MinY(), DivY());
    m_plot.Refresh();
    m_plot.update();
}

void CPlotDisplayDialog::OnPageShown()
{
    m_plot.ShowStatistics(true);
    m_nAddress = Context().m_nCurAddress.load();
    if (!Context().IsPortOpen())
        Context().OpenBusPort();
    if (Context().IsPortOpen())
        Start();
}

void CPlotDisplayDialog::OnPageHidden()
{
    m_plot.ShowStatistics(false);
    m_worker.RequestStop();
}

int CPlotDisplayDialog::Start()
{
    if (!Context().IsPortOpen())
        return 0;
    {
        const std::lock_guard lock(m_mutex);
        m_strProgramDir = Context().ProgramDirectory();
    }
    // A worker that is still ending polls again, with a new recording.
    m_worker.Start();
    return 1;
}

void CPlotDisplayDialog::StopWorker()
{
    m_worker.StopAndJoin();
}

QString CPlotDisplayDialog::DataPath() const
{
    const std::lock_guard lock(m_mutex);
    return m_strDataPath;
}

QString CPlotDisplayDialog::TextPath() const
{
    const std::lock_guard lock(m_mutex);
    return m_strTextPath;
}

void CPlotDisplayDialog::Run()
{
    const int nAddress = m_nAddress.load();
    Context().Command(CModuleCommand::BinaryOutput(nAddress, kTimeoutMs).m_text, kTimeoutMs, true);
    Context().Command(CModuleCommand::Unlock(nAddress, kTimeoutMs).m_text, kTimeoutMs, true);

    CRealTimeRecording recording(m_clock);
    QString strProgramDir;
    {
        const std::lock_guard lock(m_mutex);
        strProgramDir = m_strProgramDir;
    }
    recording.Open(strProgramDir);
    {
        const std::lock_guard lock(m_mutex);
        m_strDataPath = recording.DataPath();
        m_strTextPath = recording.TextPath();
    }
    ReportWriteFailure(recording.TakeFailureToReport());
    Context().SetRecordingFile(recording.DataPath());
    CMeasuredValuePoll poll(Context().BusLink(), m_worker);
    poll.SetTimeout(kTimeoutMs);
    poll.Run(nAddress, 0, [&](CMeasuredValuePoll::Outcome outcome, qint32 nValue) {
        ++m_nReads;
        if (outcome != CMeasuredValuePoll::Outcome::Value)
            return;
        m_plot.AddValue(0, float(nValue));
        m_plot.Refresh();
        ++m_nValues;
        recording.Append(nValue);
        ReportWriteFailure(recording.TakeFailureToReport());
    });
    recording.Close();
    Context().SetRecordingFile(QString());
    Context().SetStatusText(
        QStringLiteral("已停止记录: %1").arg(QFileInfo(recording.DataPath()).fileName()));
}

void CPlotDisplayDialog::ReportWriteFailure(int nError)
{
    if (nError == 0)
        return;
    char szText[64];
    std::snprintf(szText, sizeof szText, "%d", nError);
    // One box per recording; plotting goes on once it is closed.
    Context().ShowMessageFromWorker(QStringLiteral("写文件错误,错误码:") + QLatin1String(szText),
                                    m_worker.StopWord());
}
