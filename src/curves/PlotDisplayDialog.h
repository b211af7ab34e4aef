#pragma once

#include "curves/2dPlot.h"
#include "curves/CurvePage.h"
#include "link/WorkerThread.h"
#include "recording/RealTimeRecording.h"

#include <atomic>
#include <mutex>

// The real-time curve page: while shown, a worker polls the measured value of
// the module selected when the page was shown, as fast as the bus answers,
// draws every value and records it to a new data and text file pair.
class CPlotDisplayDialog : public CCurvePage
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 1500;

    explicit CPlotDisplayDialog(CPageContext& context, QWidget* parent = nullptr);
    ~CPlotDisplayDialog() override;

    // Starts the worker when the port is open and none runs; 0 when the port is closed.
    int Start();
    void StopWorker() override;

    bool IsRunning() const { return m_worker.IsRunning(); }
    int Address() const { return m_nAddress.load(); }
    C2dPlot& Plot() { return m_plot; }
    // The recording's clock (tests fix it); set before the page is shown.
    void SetClock(CRealTimeRecording::Clock clock) { m_clock = std::move(clock); }
    // Where the latest recording writes (empty before the first).
    QString DataPath() const;
    QString TextPath() const;
    // Values read and plotted since the page was made.
    int ValueCount() const { return m_nValues.load(); }
    // Measured-value reads tried, answered or not.
    int ReadCount() const { return m_nReads.load(); }

protected:
    void OnPageShown() override;
    void OnPageHidden() override;
    void OnRangeChanged() override;

private:
    void Run();
    void ReportWriteFailure(int nError);

    C2dPlot m_plot;
    std::atomic<int> m_nAddress{0};
    std::atomic<int> m_nValues{0};
    std::atomic<int> m_nReads{0};
    CRealTimeRecording::Clock m_clock;
    mutable std::mutex m_mutex; // guards the folder and the paths
    QString m_strProgramDir;    // taken on the UI thread before each start
    QString m_strDataPath;
    QString m_strTextPath;
    CWorkerThread m_worker; // last: stopped and joined before the rest goes
};
