#pragma once

#include "curves/2dPlot.h"
#include "curves/CurvePage.h"
#include "recording/RealTimeRecording.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// The real-time curve page: while shown, a worker polls the measured value of
// the module selected when the page was shown, as fast as the bus answers,
// draws every value and records it to a new data and text file pair.
class CPlotDisplayDialog : public CCurvePage
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 1500;
    static constexpr int kReplyLength = 6;

    explicit CPlotDisplayDialog(CPageContext& context, QWidget* parent = nullptr);
    ~CPlotDisplayDialog() override;

    // Starts the worker when the port is open and none runs; 0 when the port is closed.
    int Start();
    void StopWorker() override;

    bool IsRunning() const { return m_bRunning.load(); }
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
    // Waits up to nMs or until stop is asked; true when stop was asked.
    bool WaitForStop(int nMs);
    void OnWorkerEnded();
    void ReportWriteFailure(int nError);

    C2dPlot m_plot;
    std::thread m_worker;
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bStop{false};
    // Shown again while the old worker was ending: poll again once it has.
    bool m_bRestart = false;
    std::atomic<int> m_nAddress{0};
    std::atomic<int> m_nValues{0};
    std::atomic<int> m_nReads{0};
    QString m_strProgramDir; // taken on the UI thread before each start
    CRealTimeRecording::Clock m_clock;
    mutable std::mutex m_mutex; // guards the paths and the stop wait
    std::condition_variable m_stopEvent;
    QString m_strDataPath;
    QString m_strTextPath;
};
