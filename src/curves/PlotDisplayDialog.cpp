#include "curves/PlotDisplayDialog.h"

#include "module/ModuleCommand.h"

#include <QFileInfo>
#include <QMetaObject>

#include <cstdio>

CPlotDisplayDialog::CPlotDisplayDialog(CPageContext& context, QWidget* parent)
    : CCurvePage(context, parent)
{
    m_plot.Create(this);
    m_plot.AddCurve(0, qRgb(0, 255, 0), 1);
    m_plot.ShowStatistics(false);
    OnRangeChanged();
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
    m_bRestart = false;
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_stopEvent.notify_all();
}

int CPlotDisplayDialog::Start()
{
    if (!Context().IsPortOpen())
        return 0;
    if (m_bRunning) {
        // The previous worker is still ending; it starts the next one when done.
        m_bRestart = true;
        return 1;
    }
    if (m_worker.joinable())
        m_worker.join();
    m_strProgramDir = Context().ProgramDirectory();
    m_bStop = false;
    m_bRunning = true;
    m_worker = std::thread(&CPlotDisplayDialog::Run, this);
    return 1;
}

void CPlotDisplayDialog::StopWorker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_stopEvent.notify_all();
    m_bRestart = false;
    if (m_worker.joinable())
        m_worker.join();
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

bool CPlotDisplayDialog::WaitForStop(int nMs)
{
    std::unique_lock lock(m_mutex);
    return m_stopEvent.wait_for(lock, std::chrono::milliseconds(nMs),
                                [this] { return m_bStop.load(); });
}

void CPlotDisplayDialog::Run()
{
    const int nAddress = m_nAddress.load();
    Context().Command(CModuleCommand::BinaryOutput(nAddress, kTimeoutMs).m_text, kTimeoutMs, true);
    Context().Command(CModuleCommand::Unlock(nAddress, kTimeoutMs).m_text, kTimeoutMs, true);

    CRealTimeRecording recording(m_clock);
    recording.Open(m_strProgramDir);
    {
        const std::lock_guard lock(m_mutex);
        m_strDataPath = recording.DataPath();
        m_strTextPath = recording.TextPath();
    }
    ReportWriteFailure(recording.TakeFailureToReport());
    Context().SetRecordingFile(recording.DataPath());
    while (!m_bStop) {
        qint32 nValue = 0;
        ++m_nReads;
        if (!Context().ReadMeasuredValue(nAddress, nValue, kReplyLength, kTimeoutMs)) {
            // A closed port fails at once: wait the read's time-out instead of spinning.
            if (!Context().IsPortOpen())
                WaitForStop(kTimeoutMs);
            continue;
        }
        m_plot.AddValue(0, float(nValue));
        m_plot.Refresh();
        ++m_nValues;
        recording.Append(nValue);
        ReportWriteFailure(recording.TakeFailureToReport());
    }
    recording.Close();
    Context().SetRecordingFile(QString());
    Context().SetStatusText(
        QStringLiteral("已停止记录: %1").arg(QFileInfo(recording.DataPath()).fileName()));
    m_bRunning = false;
    QMetaObject::invokeMethod(this, &CPlotDisplayDialog::OnWorkerEnded, Qt::QueuedConnection);
}

void CPlotDisplayDialog::ReportWriteFailure(int nError)
{
    if (nError == 0)
        return;
    char szText[64];
    std::snprintf(szText, sizeof szText, "%d", nError);
    // One box per recording; plotting goes on once it is closed.
    Context().ShowMessageFromWorker(QStringLiteral("写文件错误,错误码:") + QLatin1String(szText),
                                    m_bStop);
}

void CPlotDisplayDialog::OnWorkerEnded()
{
    if (m_bRunning)
        return;
    if (m_worker.joinable())
        m_worker.join();
    if (m_bRestart && isVisible()) {
        m_bRestart = false;
        Start();
    }
}
