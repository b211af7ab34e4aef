#pragma once

#include "link/MeasuredValuePoll.h"
#include "link/PostedCall.h"
#include "link/WorkerThread.h"
#include "module/ModuleParamRecord.h"
#include "params/ParamRequest.h"
#include "params/WeightReading.h"
#include "recording/RecordingFile.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>

class CPageContext;

// The parameter page's worker: polls the selected module's weight and carries
// out the page's requests between two readings. It touches no widget; what it
// reports is posted to this object's thread (the page's) and emitted there.
//
// One request slot: a request posted before the worker takes the previous one
// replaces it; one posted while an operation runs is taken right after it.
class CParamWorker : public QObject
{
    Q_OBJECT
public:
    // The display repaints at most this often; statistics and recording take
    // every reading.
    static constexpr int kDisplayIntervalMs = 40;

    explicit CParamWorker(CPageContext& context, QObject* parent = nullptr);
    ~CParamWorker() override;

    // UI thread. False, with nothing changed, while the bus port is closed or
    // after Shutdown. Starts the worker when none runs.
    bool PostRequest(const ParamRequest& request);
    // The record a save or a calibration or linearisation write sends: a copy
    // taken when the request is posted.
    bool PostWithRecord(const ParamRequest& request, const ModuleParamRecord& record);
    // The address polled between requests.
    void SetPollAddress(int nAddress) { m_nPollAddress = nAddress; }
    // Page hidden: the worker finishes its operation (a read ends at its next
    // command) and ends.
    void Stop() { m_thread.RequestStop(); }
    // Window closing: every sequence ends at its next command; joins the thread.
    void Shutdown();
    bool IsRunning() const { return m_thread.IsRunning(); }

    void SetStatistics(const CWeightReading::Statistics& statistics);

    // Recording: the file opens on the UI thread and the flag goes on after it;
    // the worker checks flag and file under the same lock it writes under, so
    // no record is written after StopRecording returns.
    bool StartRecording(const QString& strPath, int& nError);
    void StopRecording();
    bool IsRecording() const;

    // Any thread: emits the signal with these arguments on this object's thread.
    template <typename... Args, typename... Values>
    void Report(void (CParamWorker::*signal)(Args...), Values&&... values)
    {
        CPostedCall::Post(this, [this, signal, ... values = std::forward<Values>(values)] {
            (this->*signal)(values...);
        });
    }

    // The weight poll, whose readings the link's reading tap publishes.
    CMeasuredValuePoll& Poll() { return m_poll; }

    std::atomic<int> m_bRestartStatistics{1};
    std::atomic<int> m_bScanContinue{1};

Q_SIGNALS:
    void CellText(int nAddress, const QString& strText);
    void ProgressShown(const QString& strText);
    void ProgressCleared();
    void ValueRead(const QByteArray& mnemonic, int nValue);
    void IdentificationRead(const QByteArray& text);
    void ReadStarted();
    void ReadFinished(int nAddress, bool bComplete);
    void ScanFinished(const QList<int>& arrFound);
    void TareRead(int nTare);
    // A capture's read-back: "LDW" or "LWT" and the value the module took.
    void CaptureRead(const QByteArray& mnemonic, int nValue);
    void Reading(int nValue, int nMaximum, int nMinimum, int nDifference);

private:
    void Run();
    void Carry(const ParamRequest& request);
    void Unlock(int nAddress);
    void WeightReading(int nAddress);
    void ReadParameters(int nAddress);
    void Scan();
    void ChangeAddress(int nOldAddress, int nNewAddress);
    void Save(int nAddress);
    void Capture(int nAddress, bool bFullLoad);
    void Calibrate(const ParamRequest& request);
    ModuleParamRecord PostedRecord();
    void Message(const QString& strText);

    CPageContext& m_context;
    std::atomic<bool> m_bShutdown{false};
    std::atomic<int> m_nPollAddress{0};
    CMeasuredValuePoll m_poll;

    std::mutex m_postedMutex;
    ModuleParamRecord m_postedRecord;

    std::mutex m_statisticsMutex;
    CWeightReading::Statistics m_statistics;
    std::chrono::steady_clock::time_point m_tLastShown;

    mutable std::mutex m_recordMutex;
    CRecordingFile m_recording;
    bool m_bRecording = false;

    CWorkerThread m_thread; // last: stopped and joined before the rest goes
};
