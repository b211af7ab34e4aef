#pragma once

#include "module/ModuleParamRecord.h"
#include "params/CalibrationChecks.h"
#include "params/PageDisplayState.h"
#include "params/ParamFile.h"
#include "params/ParamWorker.h"
#include "uikit/TabPage.h"

#include <QFont>
#include <QList>

#include <memory>
#include <optional>

class QComboBox;
class QLineEdit;

namespace Ui {
class CParamSettingsDialog;
}

// The parameter and calibration page: the selected module's live weight with
// its statistics, tare and gross/net, the bus grid with scan and address
// change, and the module's parameter set with read, save, export and import.
// All bus work runs on the page's worker; this class only touches widgets
// and the record, on the UI thread.
class CParamSettingsDialog : public CTabPage
{
    Q_OBJECT
public:
    explicit CParamSettingsDialog(CPageContext& context, QWidget* parent = nullptr);
    ~CParamSettingsDialog() override;

    // The address the page works on, as a click on its cell picks it, without a read.
    void SelectAddress(int nAddress) { Select(nAddress); }
    // The menu commands "导入参数(&I)" and "导出参数(&E)" land here: each asks
    // for a file, then imports or exports it.
    void ImportParams();
    void ExportParams();
    // The same without the file dialog. False when refused or failed; the
    // user has been told why.
    bool ImportFrom(const QString& strPath);
    bool ExportTo(const QString& strPath);
    // The file an export writes for a name the user typed: ".stp" added to a
    // name without an extension.
    static QString ExportPath(const QString& strTyped);
    // The recording of the page's readings into a file the user named.
    bool StartRecording(const QString& strPath);
    void StopRecording();

    void StopWorker() override;

    const ModuleParamRecord& Record() const { return m_record; }
    const PageDisplayState& State() const { return m_state; }
    const QList<int>& FoundAddresses() const { return m_arrFound; }
    bool IsModuleRead() const { return m_bModuleRead; }
    CParamWorker& Worker() { return m_worker; }
    // "高级": the manual linearisation dialog, modal. The button is hidden;
    // this is what it runs.
    void OpenAdvancedLinearisation();

protected:
    void OnPageShown() override;
    void OnPageHidden() override;

private:
    void SetUpLists();
    void SetUpGrid();
    void ConnectControls();
    void ConnectWorker();

    bool PostRequest(ParamRequest::Kind kind);
    void Select(int nAddress);
    // Page validation: every checked field in its range, in form order; the
    // first that is not shows the range message and fails it.
    bool Validate();
    bool ValidateFields();
    bool ValidateInt(QLineEdit* pEdit, qint64 nMin, qint64 nMax, qint32& nValue);
    bool ValidateIdentificationField(QLineEdit* pEdit, int nMaxBytes);

    void ShowProgress(const QString& strText);
    void ClearProgress();
    void ShowReading(int nValue, int nMaximum, int nMinimum, int nDifference);
    void ShowUnit();
    // Published readings carry the weight and unit as the page shows them.
    void SetPublishedDisplay();
    void ShowValue(const QByteArray& mnemonic, int nValue);
    void ShowIdentification(const QByteArray& text);
    void ShowRecord();
    void ShowLinearPoints();
    void SetCell(int nAddress, const QString& strText);

    void OnGridClicked(int nRow, int nColumn);
    void OnScan();
    void SetScanning(bool bScanning);
    void OnWriteAddress();
    void OnGrossNet();
    void OnRecord();
    void OnSave();
    void OnWritePoints();
    void OnWriteNominal();
    void OnWritePoint(int nPoint);
    // A calibration field as a signed 32-bit number, empty as nullopt; false,
    // with the page's validation message, for other text.
    bool ReadField(QLineEdit* pEdit, std::optional<qint32>& nValue);
    bool Refuse(CCalibrationChecks::Refusal refusal);
    void OnListChanged(QComboBox* pList);
    void OnFieldLeft(QLineEdit* pEdit);
    void OnIdentificationLeft();
    void OnReadFinished(int nAddress, bool bComplete);
    void OnScanFinished(const QList<int>& arrFound);
    static QString ImportRefusalText(const QString& strPath, CParamFile::Refusal refusal,
                                     const QString& strError);

    std::unique_ptr<Ui::CParamSettingsDialog> m_pUi;
    CParamWorker m_worker;
    ModuleParamRecord m_record;
    PageDisplayState m_state;
    QList<int> m_arrFound;
    bool m_bModuleRead = false;
    bool m_bWasHidden = false;
    bool m_bScanning = false;
    bool m_bOffersGross = true; // the gross/net button's caption is "毛重"
    bool m_bValidating = false;
    QFont m_fontWeight;
    QFont m_fontUnit;
    QFont m_fontMessage;
};
