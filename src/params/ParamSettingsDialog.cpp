#include "params/ParamSettingsDialog.h"

#include "link/PostedCall.h"
#include "module/GbkCodec.h"
#include "module/ModuleReply.h"
#include "module/ParameterTable.h"
#include "module/ValueTables.h"
#include "params/AdvancedLinDialog.h"
#include "params/ParamFile.h"
#include "params/ParamSaveSequence.h"
#include "params/WeightReading.h"
#include "ui_ParamSettingsDialog.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>

#include <cstring>
#include <limits>

namespace {

const char* const kScanCaption = "总线扫描";
const char* const kStopScanCaption = "停止扫描";
const char* const kGrossCaption = "毛重";
const char* const kNetCaption = "净重";
const char* const kRecordCaption = "保存数据";
const char* const kStopRecordCaption = "停止保存";

constexpr qint64 kIntMin = std::numeric_limits<qint32>::min();
constexpr qint64 kIntMax = std::numeric_limits<qint32>::max();

// A bold "宋体" whose line (ascent and descent) is nCellHeight pixels high, as
// a font is sized by its cell height. Faces other than 宋体, the usual
// stand-ins, have more leading: sized by the em they would be half as large
// again, and the small font would no longer fit a message on one line.
QFont PageFont(int nCellHeight)
{
    QFont font(QStringLiteral("宋体"));
    font.setBold(true);
    font.setPixelSize(nCellHeight);
    const int nLineHeight = QFontMetrics(font).height();
    if (nLineHeight > nCellHeight)
        font.setPixelSize(qMax(1, nCellHeight * nCellHeight / nLineHeight));
    return font;
}

// A widget of the page and the parameter behind it: its record word, its
// list or its range, as the parameter table has them.
template <typename Widget> struct Binding
{
    const CParameterTable::Parameter& m_parameter;
    Widget* m_pWidget;

    Binding(const char* pszMnemonic, Widget* pWidget)
        : m_parameter(*CParameterTable::Find(pszMnemonic)), m_pWidget(pWidget)
    {
    }
    const char* Mnemonic() const { return m_parameter.m_pszMnemonic; }
};
using ListBinding = Binding<QComboBox>;
using FieldBinding = Binding<QLineEdit>;

QList<ListBinding> Lists(Ui::CParamSettingsDialog& ui)
{
    return {{"FMD", ui.comboFmd}, {"ASF", ui.comboAsf}, {"ICR", ui.comboIcr}, {"ZTR", ui.comboZtr},
            {"ZTS", ui.comboZts}, {"ZSE", ui.comboZse}, {"STR", ui.comboStr}, {"CSM", ui.comboCsm},
            {"CHP", ui.comboChp}, {"GAN", ui.comboGan}, {"RLE", ui.comboRle}, {"RLN", ui.comboRln}};
}

// In form order: page validation checks them in this order.
QList<FieldBinding> Fields(Ui::CParamSettingsDialog& ui)
{
    return {{"ADI", ui.editAdi}, {"COC", ui.editCoc}, {"COF", ui.editCof}, {"TAV", ui.editTav},
            {"LDW", ui.editLdw}, {"LWT", ui.editLwt}, {"NOV", ui.editNov}};
}

QList<QLineEdit*> PointFields(Ui::CParamSettingsDialog& ui)
{
    return {ui.editRlc0, ui.editRlc1, ui.editRlc2, ui.editRlc3,
            ui.editRlc4, ui.editRlc5, ui.editRlc6, ui.editRlc7};
}

QList<CWBButton*> PointButtons(Ui::CParamSettingsDialog& ui)
{
    return {ui.buttonRlc0, ui.buttonRlc1, ui.buttonRlc2, ui.buttonRlc3,
            ui.buttonRlc4, ui.buttonRlc5, ui.buttonRlc6, ui.buttonRlc7};
}

// The requests that send values of the record: it goes with them as posted.
bool CarriesRecord(ParamRequest::Kind kind)
{
    using Kind = ParamRequest::Kind;
    return kind == Kind::Save || kind == Kind::WritePoints || kind == Kind::WriteNominal ||
           kind == Kind::WriteEnable || kind == Kind::WriteCount || kind == Kind::WritePoint;
}

} // namespace

CParamSettingsDialog::CParamSettingsDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent), m_pUi(std::make_unique<Ui::CParamSettingsDialog>()),
      m_worker(context), m_fontWeight(PageFont(80)), m_fontUnit(PageFont(60)),
      m_fontMessage(PageFont(40))
{
    m_pUi->setupUi(this);
    for (CWBButton* pButton :
         {m_pUi->buttonZero, m_pUi->buttonTare, m_pUi->buttonGrossNet, m_pUi->buttonRecord,
          m_pUi->buttonScan, m_pUi->buttonWriteAddress, m_pUi->buttonSave, m_pUi->buttonCaptureZero,
          m_pUi->buttonCaptureFull, m_pUi->buttonWritePoints, m_pUi->buttonWriteNominal,
          m_pUi->buttonAdvanced})
        pButton->LoadStandardSkin();
    for (CWBButton* pButton : PointButtons(*m_pUi))
        pButton->LoadStandardSkin();
    m_pUi->labelUnit->setFont(m_fontUnit);
    m_pUi->comboIcr->setInsertPolicy(QComboBox::NoInsert);
    SetUpLists();
    SetUpGrid();
    ShowRecord();
    const QList<QLineEdit*> points = PointFields(*m_pUi);
    for (int i = 0; i < points.size(); ++i)
        points[i]->setText(QString::number(i * 50000));
    m_pUi->editNewAddress->setText(QString::number(m_state.m_nNewAddress));
    m_pUi->editMaximum->setText(QStringLiteral("0"));
    m_pUi->editMinimum->setText(QStringLiteral("0"));
    m_pUi->editDifference->setText(QStringLiteral("0"));
    ShowProgress(QStringLiteral("请选择AD地址或总线扫描"));
    ConnectControls();
    ConnectWorker();
}

CParamSettingsDialog::~CParamSettingsDialog()
{
    m_worker.Shutdown();
}

void CParamSettingsDialog::SetUpLists()
{
    using List = CValueTables::List;
    m_pUi->comboUnit->addItems(CValueTables::Entries(List::Unit));
    m_pUi->comboDivision->addItems(CValueTables::Entries(List::DisplayDivision));
    m_pUi->comboDecimal->addItems(CValueTables::Entries(List::DecimalPoint));
    for (const ListBinding& binding : Lists(*m_pUi))
        binding.m_pWidget->addItems(CValueTables::Entries(*binding.m_parameter.m_list));
    m_pUi->comboUnit->setCurrentIndex(m_state.m_nUnit);
    m_pUi->comboDivision->setCurrentIndex(m_state.m_nDivision);
    m_pUi->comboDecimal->setCurrentIndex(m_state.m_nDecimals);
    SetPublishedDisplay();
}

void CParamSettingsDialog::SetUpGrid()
{
    QTableWidget* pGrid = m_pUi->gridBus;
    pGrid->setRowCount(8);
    pGrid->setColumnCount(4);
    pGrid->horizontalHeader()->hide();
    pGrid->verticalHeader()->hide();
    pGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A click makes its cell current; a drag selects nothing.
    pGrid->setSelectionMode(QAbstractItemView::NoSelection);
    for (int nAddress = 0; nAddress < 32; ++nAddress) {
        auto* pItem = new QTableWidgetItem(QStringLiteral("ADR %1").arg(nAddress));
        pItem->setTextAlignment(Qt::AlignCenter);
        pGrid->setItem(nAddress % 8, nAddress / 8, pItem);
    }
}

void CParamSettingsDialog::ConnectControls()
{
    connect(m_pUi->gridBus, &QTableWidget::cellClicked, this, &CParamSettingsDialog::OnGridClicked);
    connect(m_pUi->buttonScan, &QPushButton::clicked, this, &CParamSettingsDialog::OnScan);
    connect(m_pUi->buttonWriteAddress, &QPushButton::clicked, this,
            &CParamSettingsDialog::OnWriteAddress);
    connect(m_pUi->buttonZero, &QPushButton::clicked, this,
            [this] { m_worker.m_bRestartStatistics = 1; });
    connect(m_pUi->buttonTare, &QPushButton::clicked, this,
            [this] { PostRequest(ParamRequest::Kind::Tare); });
    connect(m_pUi->buttonGrossNet, &QPushButton::clicked, this, &CParamSettingsDialog::OnGrossNet);
    connect(m_pUi->buttonRecord, &QPushButton::clicked, this, &CParamSettingsDialog::OnRecord);
    connect(m_pUi->buttonSave, &QPushButton::clicked, this, &CParamSettingsDialog::OnSave);
    connect(m_pUi->buttonCaptureZero, &QPushButton::clicked, this,
            [this] { PostRequest(ParamRequest::Kind::CaptureZero); });
    connect(m_pUi->buttonCaptureFull, &QPushButton::clicked, this,
            [this] { PostRequest(ParamRequest::Kind::CaptureFullLoad); });
    connect(m_pUi->buttonWritePoints, &QPushButton::clicked, this,
            &CParamSettingsDialog::OnWritePoints);
    connect(m_pUi->buttonWriteNominal, &QPushButton::clicked, this,
            &CParamSettingsDialog::OnWriteNominal);
    connect(m_pUi->buttonAdvanced, &QPushButton::clicked, this,
            &CParamSettingsDialog::OpenAdvancedLinearisation);
    const QList<CWBButton*> arrPointButtons = PointButtons(*m_pUi);
    for (int i = 0; i < arrPointButtons.size(); ++i)
        connect(arrPointButtons[i], &QPushButton::clicked, this, [this, i] { OnWritePoint(i); });

    connect(m_pUi->comboUnit, &QComboBox::activated, this, [this](int nIndex) {
        m_state.m_nUnit = nIndex;
        ShowUnit();
    });
    connect(m_pUi->comboDivision, &QComboBox::activated, this, [this](int nIndex) {
        m_state.m_nDivision = nIndex;
        SetPublishedDisplay();
    });
    connect(m_pUi->comboDecimal, &QComboBox::activated, this, [this](int nIndex) {
        m_state.m_nDecimals = nIndex;
        SetPublishedDisplay();
    });
    for (const ListBinding& binding : Lists(*m_pUi)) {
        QComboBox* pList = binding.m_pWidget;
        connect(pList, &QComboBox::activated, this, [this, pList] { OnListChanged(pList); });
    }
    for (const FieldBinding& binding : Fields(*m_pUi)) {
        QLineEdit* pEdit = binding.m_pWidget;
        connect(pEdit, &QLineEdit::editingFinished, this, [this, pEdit] { OnFieldLeft(pEdit); });
    }
    for (QLineEdit* pEdit : PointFields(*m_pUi))
        connect(pEdit, &QLineEdit::editingFinished, this, [this, pEdit] { OnFieldLeft(pEdit); });
    for (QLineEdit* pEdit : {m_pUi->editIdn2, m_pUi->editIdn3})
        connect(pEdit, &QLineEdit::editingFinished, this,
                &CParamSettingsDialog::OnIdentificationLeft);
}

void CParamSettingsDialog::ConnectWorker()
{
    // The worker emits its reports on this thread (CParamWorker::Report).
    connect(&m_worker, &CParamWorker::CellText, this, &CParamSettingsDialog::SetCell);
    connect(&m_worker, &CParamWorker::ProgressShown, this, &CParamSettingsDialog::ShowProgress);
    connect(&m_worker, &CParamWorker::ProgressCleared, this, &CParamSettingsDialog::ClearProgress);
    connect(&m_worker, &CParamWorker::ValueRead, this, &CParamSettingsDialog::ShowValue);
    connect(&m_worker, &CParamWorker::IdentificationRead, this,
            &CParamSettingsDialog::ShowIdentification);
    // The one report emitted on the worker's own thread.
    CPostedCall::Connect(&m_worker, &CParamWorker::ReadStarted, this,
                         [this] { m_bModuleRead = false; });
    connect(&m_worker, &CParamWorker::ReadFinished, this, &CParamSettingsDialog::OnReadFinished);
    connect(&m_worker, &CParamWorker::ScanFinished, this, &CParamSettingsDialog::OnScanFinished);
    connect(&m_worker, &CParamWorker::Reading, this, &CParamSettingsDialog::ShowReading);
    // A capture's value reaches field and record here, on the UI thread.
    connect(&m_worker, &CParamWorker::CaptureRead, this, &CParamSettingsDialog::ShowValue);
    connect(&m_worker, &CParamWorker::TareRead, this, [this](int nTare) {
        // The record follows the module's new tare, or a later save would
        // write the old one back.
        m_record.m_nTav = nTare;
        m_pUi->editTav->setText(QString::number(nTare));
    });
}

bool CParamSettingsDialog::PostRequest(ParamRequest::Kind kind)
{
    ParamRequest request;
    request.m_kind = kind;
    request.m_nAddress = m_state.m_nSelectedAddress;
    request.m_nNewAddress = m_state.m_nNewAddress;
    if (CarriesRecord(kind))
        return m_worker.PostWithRecord(request, m_record);
    return m_worker.PostRequest(request);
}

void CParamSettingsDialog::Select(int nAddress)
{
    m_state.m_nSelectedAddress = nAddress;
    Context().m_nCurAddress = nAddress;
    m_worker.SetPollAddress(nAddress);
}

void CParamSettingsDialog::OnPageShown()
{
    if (!Context().IsPortOpen())
        Context().OpenBusPort();
    if (!m_bModuleRead)
        return;
    if (m_bWasHidden) {
        m_bWasHidden = false;
        PostRequest(ParamRequest::Kind::UnlockAndRead);
    } else {
        PostRequest(ParamRequest::Kind::Weight);
    }
}

void CParamSettingsDialog::OnPageHidden()
{
    m_bWasHidden = true;
    m_worker.Stop();
}

void CParamSettingsDialog::StopWorker()
{
    m_worker.Shutdown();
}

bool CParamSettingsDialog::ValidateInt(QLineEdit* pEdit, qint64 nMin, qint64 nMax, qint32& nValue)
{
    bool bOk = false;
    const qint64 n = pEdit->text().trimmed().toLongLong(&bOk);
    if (bOk && n >= nMin && n <= nMax) {
        nValue = static_cast<qint32>(n);
        return true;
    }
    pEdit->setFocus();
    pEdit->selectAll();
    if (nMin == kIntMin && nMax == kIntMax)
        Context().ShowMessage(QStringLiteral("请输入一个整数。"));
    else
        Context().ShowMessage(
            QStringLiteral("请输入一个介于%1和%2之间的整数。").arg(nMin).arg(nMax));
    return false;
}

bool CParamSettingsDialog::ValidateIdentificationField(QLineEdit* pEdit, int nMaxBytes)
{
    const QString strText = pEdit->text();
    if (CGbkCodec::CanEncode(strText) &&
        CParamSaveSequence::IsWritableField(CGbkCodec::Encode(strText), nMaxBytes))
        return true;
    pEdit->setFocus();
    pEdit->selectAll();
    Context().ShowMessage(
        QStringLiteral("最多输入%1个字节(一个汉字占两个字节),不能含有\"或;。").arg(nMaxBytes));
    return false;
}

bool CParamSettingsDialog::Validate()
{
    // Moving the focus to a refused field makes the field that had it report
    // its leaving: that nested check would show the same message again.
    if (m_bValidating)
        return false;
    m_bValidating = true;
    const bool bValid = ValidateFields();
    m_bValidating = false;
    return bValid;
}

bool CParamSettingsDialog::ValidateFields()
{
    qint32 nValue = 0;
    for (const FieldBinding& binding : Fields(*m_pUi))
        if (!ValidateInt(binding.m_pWidget, binding.m_parameter.m_nMin, binding.m_parameter.m_nMax,
                         nValue))
            return false;
    if (!ValidateInt(m_pUi->editNewAddress, 0, 31, nValue))
        return false;
    if (!ValidateIdentificationField(m_pUi->editIdn2, CModuleReply::kField2MaxLen) ||
        !ValidateIdentificationField(m_pUi->editIdn3, CModuleReply::kField3MaxLen))
        return false;
    for (QLineEdit* pEdit : PointFields(*m_pUi))
        if (!ValidateInt(pEdit, kIntMin, kIntMax, nValue))
            return false;
    return true;
}

void CParamSettingsDialog::OnFieldLeft(QLineEdit* pEdit)
{
    if (!Validate())
        return;
    qint32 nValue = 0;
    ValidateInt(pEdit, kIntMin, kIntMax, nValue);
    for (const FieldBinding& binding : Fields(*m_pUi))
        if (binding.m_pWidget == pEdit)
            m_record.*binding.m_parameter.m_pField = nValue;
    const QList<QLineEdit*> points = PointFields(*m_pUi);
    const qsizetype nPoint = points.indexOf(pEdit);
    if (nPoint >= 0)
        m_record.m_arrRlc[nPoint] = nValue;
}

void CParamSettingsDialog::OnIdentificationLeft()
{
    if (!Validate())
        return;
    m_record.m_strIdentification =
        CGbkCodec::Encode(m_pUi->editIdn1->text() + QLatin1Char(',') + m_pUi->editIdn2->text() +
                          QLatin1Char(',') + m_pUi->editIdn3->text() + QLatin1Char(',') +
                          m_pUi->editIdn4->text())
            .left(CModuleReply::kMaxIdentificationLen);
}

void CParamSettingsDialog::OnListChanged(QComboBox* pList)
{
    for (const ListBinding& binding : Lists(*m_pUi)) {
        if (binding.m_pWidget != pList)
            continue;
        const CValueTables::List list = *binding.m_parameter.m_list;
        const int nArgument = CValueTables::ArgumentAt(list, pList->currentIndex());
        if (nArgument < 0)
            return; // text typed into the output-rate box is not taken
        m_record.*binding.m_parameter.m_pField = nArgument;
        if (list == CValueTables::List::LinearPoints) {
            ShowLinearPoints();
            PostRequest(ParamRequest::Kind::WriteCount);
        } else if (pList == m_pUi->comboRle) {
            PostRequest(ParamRequest::Kind::WriteEnable);
        }
    }
}

void CParamSettingsDialog::OnGridClicked(int nRow, int nColumn)
{
    Select(nRow + 8 * nColumn);
    PostRequest(ParamRequest::Kind::Read);
}

void CParamSettingsDialog::OnScan()
{
    if (!m_bScanning) {
        m_worker.m_bScanContinue = 1;
        PostRequest(ParamRequest::Kind::Scan);
        SetScanning(true);
    } else {
        SetScanning(false);
        m_worker.m_bScanContinue = 0;
    }
}

void CParamSettingsDialog::SetScanning(bool bScanning)
{
    m_bScanning = bScanning;
    m_pUi->buttonScan->setText(QString::fromUtf8(bScanning ? kStopScanCaption : kScanCaption));
}

void CParamSettingsDialog::OnWriteAddress()
{
    if (!Validate())
        return;
    m_state.m_nNewAddress = m_pUi->editNewAddress->text().trimmed().toInt();
    // The change's own scan runs to its end: a "停止扫描" pressed while no
    // scan ran must not cut it.
    m_worker.m_bScanContinue = 1;
    PostRequest(ParamRequest::Kind::ChangeAddress);
}

void CParamSettingsDialog::OnGrossNet()
{
    // The caption names the mode a click selects.
    const bool bGross = m_bOffersGross;
    m_bOffersGross = !bGross;
    m_pUi->buttonGrossNet->setText(QString::fromUtf8(bGross ? kNetCaption : kGrossCaption));
    PostRequest(bGross ? ParamRequest::Kind::Gross : ParamRequest::Kind::Net);
}

void CParamSettingsDialog::OnRecord()
{
    if (m_worker.IsRecording()) {
        StopRecording();
        return;
    }
    const QString strPath = QFileDialog::getSaveFileName(this);
    if (!strPath.isEmpty())
        StartRecording(strPath);
}

bool CParamSettingsDialog::StartRecording(const QString& strPath)
{
    int nError = 0;
    if (!m_worker.StartRecording(strPath, nError)) {
        Context().ShowMessage(QStringLiteral("写文件错误,错误码:%1").arg(nError));
        return false;
    }
    m_state.m_bRecording = 1;
    m_pUi->buttonRecord->setText(QString::fromUtf8(kStopRecordCaption));
    return true;
}

void CParamSettingsDialog::StopRecording()
{
    m_state.m_bRecording = 0;
    m_worker.StopRecording();
    m_pUi->buttonRecord->setText(QString::fromUtf8(kRecordCaption));
}

void CParamSettingsDialog::OnSave()
{
    // A page that does not validate sends nothing.
    if (!Validate())
        return;
    PostRequest(ParamRequest::Kind::Save);
}

bool CParamSettingsDialog::ReadField(QLineEdit* pEdit, std::optional<qint32>& nValue)
{
    if (CCalibrationChecks::ParseField(pEdit->text(), nValue))
        return true;
    qint32 nIgnored = 0;
    ValidateInt(pEdit, kIntMin, kIntMax, nIgnored); // shows the page's message
    return false;
}

bool CParamSettingsDialog::Refuse(CCalibrationChecks::Refusal refusal)
{
    if (refusal == CCalibrationChecks::Refusal::None)
        return false;
    Context().ShowMessage(CCalibrationChecks::Text(refusal));
    return true;
}

void CParamSettingsDialog::OnWritePoints()
{
    using Refusal = CCalibrationChecks::Refusal;
    std::optional<qint32> nLdw, nLwt, nNov;
    if (m_pUi->editLdw->text().trimmed().isEmpty())
        Refuse(Refusal::LdwEmpty);
    else if (m_pUi->editLwt->text().trimmed().isEmpty())
        Refuse(Refusal::LwtEmpty);
    else if (ReadField(m_pUi->editLdw, nLdw) && ReadField(m_pUi->editLwt, nLwt) &&
             ReadField(m_pUi->editNov, nNov) &&
             !Refuse(CCalibrationChecks::CheckPoints(nLdw, nLwt))) {
        m_record.m_nLdw = *nLdw;
        m_record.m_nLwt = *nLwt;
        // The NOV shown is the one written, whichever field had the focus.
        m_record.m_nNov = nNov.value_or(0);
        PostRequest(ParamRequest::Kind::WritePoints);
    }
}

void CParamSettingsDialog::OnWriteNominal()
{
    std::optional<qint32> nLdw, nLwt, nNov;
    if (!ReadField(m_pUi->editLdw, nLdw) || !ReadField(m_pUi->editLwt, nLwt) ||
        !ReadField(m_pUi->editNov, nNov) ||
        Refuse(
            CCalibrationChecks::CheckNominal(nLdw.value_or(0), nLwt.value_or(0), nNov.value_or(0))))
        return;
    m_record.m_nNov = nNov.value_or(0);
    PostRequest(ParamRequest::Kind::WriteNominal);
}

void CParamSettingsDialog::OnWritePoint(int nPoint)
{
    std::optional<qint32> nValue;
    if (!ReadField(PointFields(*m_pUi)[nPoint], nValue))
        return;
    m_record.m_nRlcIndex = nPoint;
    m_record.m_arrRlc[std::size_t(nPoint)] = nValue.value_or(0);
    PostRequest(ParamRequest::Kind::WritePoint);
}

void CParamSettingsDialog::OpenAdvancedLinearisation()
{
    CAdvancedLinDialog dialog(
        Context(), m_record, Context().BackgroundBrush(),
        [this](ParamRequest::Kind kind) { return PostRequest(kind); }, this);
    dialog.exec();
}

void CParamSettingsDialog::SetCell(int nAddress, const QString& strText)
{
    if (QTableWidgetItem* pItem = m_pUi->gridBus->item(nAddress % 8, nAddress / 8))
        pItem->setText(strText);
}

void CParamSettingsDialog::ShowProgress(const QString& strText)
{
    // One line, never broken: a message wider than the display is set smaller.
    // The frame's indent takes half an 'x' on the aligned side.
    QLabel* pDisplay = m_pUi->labelWeight;
    QFont font = m_fontMessage;
    const QFontMetrics metrics(font);
    const int nRoom = pDisplay->contentsRect().width() - 2 * pDisplay->margin() -
                      metrics.horizontalAdvance(QLatin1Char('x'));
    const int nWidth = metrics.horizontalAdvance(strText);
    if (nWidth > nRoom && nRoom > 0)
        font.setPixelSize(qMax(1, font.pixelSize() * nRoom / nWidth));
    pDisplay->setFont(font);
    pDisplay->setText(strText);
}

void CParamSettingsDialog::ClearProgress()
{
    m_pUi->labelWeight->setFont(m_fontWeight);
    m_pUi->labelWeight->clear();
}

void CParamSettingsDialog::ShowReading(int nValue, int nMaximum, int nMinimum, int nDifference)
{
    m_state.m_nMaximum = nMaximum;
    m_state.m_nMinimum = nMinimum;
    m_state.m_nDifference = nDifference;
    m_pUi->labelWeight->setFont(m_fontWeight);
    m_pUi->labelWeight->setText(
        CWeightReading::Text(nValue, m_state.m_nDivision, m_state.m_nDecimals));
    m_pUi->editMaximum->setText(QString::number(nMaximum));
    m_pUi->editMinimum->setText(QString::number(nMinimum));
    m_pUi->editDifference->setText(QString::number(nDifference));
}

void CParamSettingsDialog::ShowUnit()
{
    if (m_bModuleRead)
        m_pUi->labelUnit->setText(CWeightReading::UnitText(m_state.m_nUnit));
    SetPublishedDisplay();
}

void CParamSettingsDialog::SetPublishedDisplay()
{
    const int nDivision = m_state.m_nDivision;
    const int nDecimals = m_state.m_nDecimals;
    m_worker.Poll().SetDisplay(
        [nDivision, nDecimals](qint32 nValue) {
            return CWeightReading::Text(nValue, nDivision, nDecimals);
        },
        m_pUi->labelUnit->text());
}

void CParamSettingsDialog::ShowValue(const QByteArray& mnemonic, int nValue)
{
    if (qint32* pnField = m_record.Field(mnemonic.constData()))
        *pnField = nValue;
    for (const ListBinding& binding : Lists(*m_pUi)) {
        if (mnemonic != binding.Mnemonic())
            continue;
        const CValueTables::List list = *binding.m_parameter.m_list;
        // -1, nothing selected, for a value outside the list, as a read may give.
        binding.m_pWidget->setCurrentIndex(CValueTables::PositionOf(list, nValue));
        if (list == CValueTables::List::OutputRate)
            binding.m_pWidget->setEditText(QString::number(nValue));
        if (list == CValueTables::List::LinearPoints)
            ShowLinearPoints();
    }
    for (const FieldBinding& binding : Fields(*m_pUi))
        if (mnemonic == binding.Mnemonic())
            binding.m_pWidget->setText(QString::number(nValue));
}

void CParamSettingsDialog::ShowIdentification(const QByteArray& text)
{
    m_record.m_strIdentification = text.left(CModuleReply::kMaxIdentificationLen);
    const QList<QByteArray> fields = CModuleReply::IdentificationFields(text);
    const QList<QLineEdit*> edits = {m_pUi->editIdn1, m_pUi->editIdn2, m_pUi->editIdn3,
                                     m_pUi->editIdn4};
    for (int i = 0; i < edits.size(); ++i)
        edits[i]->setText(CGbkCodec::Decode(fields.value(i)));
}

void CParamSettingsDialog::ShowRecord()
{
    for (const ListBinding& binding : Lists(*m_pUi))
        ShowValue(binding.Mnemonic(), m_record.*binding.m_parameter.m_pField);
    for (const FieldBinding& binding : Fields(*m_pUi))
        ShowValue(binding.Mnemonic(), m_record.*binding.m_parameter.m_pField);
    ShowIdentification(m_record.m_strIdentification);
    ShowLinearPoints();
}

void CParamSettingsDialog::ShowLinearPoints()
{
    const QList<QLineEdit*> points = PointFields(*m_pUi);
    const QList<CWBButton*> buttons = PointButtons(*m_pUi);
    const QList<QLabel*> labels = {m_pUi->labelRlc0, m_pUi->labelRlc1, m_pUi->labelRlc2,
                                   m_pUi->labelRlc3, m_pUi->labelRlc4, m_pUi->labelRlc5,
                                   m_pUi->labelRlc6, m_pUi->labelRlc7};
    for (int i = 0; i < 8; ++i) {
        const bool bVisible = CCalibrationChecks::IsPointVisible(i, m_record.m_nRln);
        points[i]->setVisible(bVisible);
        buttons[i]->setVisible(bVisible);
        labels[i]->setVisible(bVisible);
    }
}

void CParamSettingsDialog::OnReadFinished(int nAddress, bool bComplete)
{
    m_bModuleRead = bComplete;
    if (!bComplete)
        return;
    ShowUnit();
    m_pUi->editNewAddress->setText(QString::number(nAddress));
}

void CParamSettingsDialog::OnScanFinished(const QList<int>& arrFound)
{
    m_arrFound = arrFound;
    SetScanning(false);
    if (arrFound.isEmpty())
        return;
    Select(arrFound.first());
    m_pUi->editNewAddress->setText(QString::number(arrFound.first()));
}

void CParamSettingsDialog::ImportParams()
{
    const QString strPath = QFileDialog::getOpenFileName(
        this, QString(), QString(), QStringLiteral("参数文件 (*.stp);;所有文件 (*)"));
    if (!strPath.isEmpty())
        ImportFrom(strPath);
}

void CParamSettingsDialog::ExportParams()
{
    const QDateTime now = QDateTime::currentDateTime();
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("参数文件 (*.stp)"));
    // A name typed without an extension gets ".stp", or the import's filter would hide it.
    dialog.setDefaultSuffix(QStringLiteral("stp"));
    dialog.selectFile(QStringLiteral("%1_%2_%3_%4_%5.stp")
                          .arg(now.date().year())
                          .arg(now.date().month())
                          .arg(now.date().day())
                          .arg(now.time().hour())
                          .arg(now.time().minute()));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        ExportTo(ExportPath(dialog.selectedFiles().constFirst()));
}

QString CParamSettingsDialog::ExportPath(const QString& strTyped)
{
    if (strTyped.isEmpty() || !QFileInfo(strTyped).suffix().isEmpty())
        return strTyped;
    return strTyped + QStringLiteral(".stp");
}

bool CParamSettingsDialog::ExportTo(const QString& strPath)
{
    // The statistics restart as the page has it now, not as the last import left it.
    PageDisplayState state = m_state;
    state.m_bRestartStatistics = m_worker.m_bRestartStatistics.load();
    const QString strName = QDir::toNativeSeparators(strPath);
    QString strError;
    if (!CParamFile::Export(strPath, m_record, state, strError)) {
        Context().ShowMessage(
            QStringLiteral("导出参数失败: 无法写入文件\"%1\"(%2)。").arg(strName, strError));
        return false;
    }
    Context().SetStatusText(QStringLiteral("参数已导出到文件\"%1\"").arg(strName));
    return true;
}

QString CParamSettingsDialog::ImportRefusalText(const QString& strPath, CParamFile::Refusal refusal,
                                                const QString& strError)
{
    const QString strName = QDir::toNativeSeparators(strPath);
    switch (refusal) {
    case CParamFile::Refusal::WrongSize:
        return QStringLiteral("导入参数失败: 文件\"%1\"不是参数文件,它有%2字节,参数文件有%3字节。")
            .arg(strName)
            .arg(QFileInfo(strPath).size())
            .arg(CParamFile::kSize);
    case CParamFile::Refusal::NoIdentificationEnd:
        return QStringLiteral("导入参数失败: 文件\"%1\"不是参数文件,其中的传感器型号没有结尾。")
            .arg(strName);
    case CParamFile::Refusal::OutOfRange:
        return QStringLiteral("导入参数失败: 文件\"%1\"不是参数文件,其中的地址或显示设置超出范围。")
            .arg(strName);
    case CParamFile::Refusal::Unreadable:
    case CParamFile::Refusal::None:
        break;
    }
    return QStringLiteral("导入参数失败: 无法读取文件\"%1\"(%2)。").arg(strName, strError);
}

bool CParamSettingsDialog::ImportFrom(const QString& strPath)
{
    ModuleParamRecord record;
    PageDisplayState state;
    QString strError;
    CParamFile::Refusal refusal = CParamFile::Refusal::None;
    if (!CParamFile::Import(strPath, record, state, strError, &refusal)) {
        Context().ShowMessage(ImportRefusalText(strPath, refusal, strError));
        return false;
    }
    // The recording flag and the found addresses stay the page's own.
    state.m_bRecording = m_state.m_bRecording;
    m_record = record;
    m_state = state;
    Select(state.m_nSelectedAddress);
    m_worker.SetStatistics({state.m_nMaximum, state.m_nMinimum, state.m_nDifference});
    m_worker.m_bRestartStatistics = state.m_bRestartStatistics != 0 ? 1 : 0;
    m_pUi->comboUnit->setCurrentIndex(state.m_nUnit);
    m_pUi->comboDivision->setCurrentIndex(state.m_nDivision);
    m_pUi->comboDecimal->setCurrentIndex(state.m_nDecimals);
    // Fields too: a field keeping its old text would undo the import when left.
    ShowRecord();
    m_pUi->editNewAddress->setText(QString::number(state.m_nNewAddress));
    m_pUi->editMaximum->setText(QString::number(state.m_nMaximum));
    m_pUi->editMinimum->setText(QString::number(state.m_nMinimum));
    m_pUi->editDifference->setText(QString::number(state.m_nDifference));
    ShowUnit();
    Context().SetStatusText(
        QStringLiteral("参数已从文件\"%1\"导入").arg(QDir::toNativeSeparators(strPath)));
    return true;
}
