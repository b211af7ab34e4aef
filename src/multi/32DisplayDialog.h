#pragma once

#include "multi/CircleSettings.h"
#include "recording/PatrolRecorder.h"
#include "uikit/TabPage.h"

#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class CPatrolWorker;
class QTableWidget;

namespace Ui {
class C32DisplayDialog;
}

// The multi-module page: while it is shown, its worker patrols addresses 0 up
// to the highest one and every value lands in its cell of an 8 x 4 grid
// ("AD%d:%s"). A show starts the patrol; "停止巡检" stops it (cells keep their
// values, recordings stay open) and "开始巡检" starts it again. The values of
// each address can be recorded into .sdat files.
class C32DisplayDialog : public CTabPage
{
    Q_OBJECT
public:
    static constexpr int kRows = 8;
    static constexpr int kColumns = 4;
    static constexpr int kCells = kRows * kColumns;
    // The grid is redrawn at most this often; the latest value of a cell wins.
    static constexpr int kRepaintMs = 40;

    explicit C32DisplayDialog(CPageContext& context, QWidget* parent = nullptr);
    ~C32DisplayDialog() override;

    // Stops and joins the worker, then flushes and closes the recording.
    void StopWorker() override;

    const CircleSettings& Settings() const { return m_settings; }
    // Takes a settings record (clamped) as OK in the settings dialog does.
    void ApplySettings(const CircleSettings& settings);
    // The value and unit remote monitoring publishes, as the grid shows them.
    void SetPublishedDisplay();

    // The cell of address a: "AD%d:%s" with the value in the decimals in force.
    void SetCell(int nAddress, qint32 nValue);
    // A failed read: just "AD%d:".
    void ClearCell(int nAddress);
    QString CellText(int nAddress) const;
    QString FormatValue(qint32 nValue) const;
    // nValue / 10^nDecimals printed with nDecimals places (0..6).
    static QString FormatValue(qint32 nValue, int nDecimals);

    QTableWidget* Grid() const;
    CPatrolWorker& Worker() const { return *m_pWorker; }
    bool IsSaving() const { return m_bSaving; }
    bool IsPatrolling() const { return m_bPatrolling; }
    const CPatrolRecorder& Recorder() const { return m_recorder; }

protected:
    void OnPageShown() override;
    void OnPageHidden() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* pWatched, QEvent* event) override;

private:
    void OnSettingsClicked();
    void OnPatrolClicked();
    void OnSaveClicked();
    void OnAddressStarted(int nAddress);
    void OnReadDone(int nAddress, bool bOk, qint32 nValue);
    void OnCycleDone(qint64 nElapsedMs);
    // Any thread: the first failure of a recording becomes one box on the UI thread.
    void OnRecordFailure(const CPatrolRecorder::Failure& failure);
    void SetPatrolling(bool bPatrolling);
    void ShowPending();
    void LayoutGrid();
    void ApplyGridColours();

    struct PendingCell
    {
        bool m_bChanged = false;
        bool m_bOk = false;
        qint32 m_nValue = 0;
    };

    std::unique_ptr<Ui::C32DisplayDialog> m_pUi;
    CircleSettings m_settings;
    CPatrolRecorder m_recorder;
    std::unique_ptr<CPatrolWorker> m_pWorker;
    bool m_bPatrolling = false;
    bool m_bSaving = false;
    QRect m_rcGridMargins; // the grid's distances to the page's edges, from the form

    // What the worker reported since the last redraw.
    std::array<PendingCell, kCells> m_arrPending{};
    std::optional<int> m_nPendingAddress;
    std::optional<std::optional<qint32>> m_pendingValue;
    std::optional<qint64> m_nPendingCycleMs;
    QTimer m_repaintTimer;
};
