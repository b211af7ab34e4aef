#include "params/AdvancedLinDialog.h"

#include "module/ValueTables.h"
#include "params/CalibrationChecks.h"
#include "ui_AdvancedLinDialog.h"
#include "uikit/PageContext.h"

CAdvancedLinDialog::CAdvancedLinDialog(CPageContext& context, ModuleParamRecord& record,
                                       const QBrush& brBackground, RequestSlot request,
                                       QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::CAdvancedLinDialog>()), m_context(context),
      m_record(record), m_request(std::move(request))
{
    m_pUi->setupUi(this);
    // The page's brush behind everything; labels draw no background of their own.
    QPalette palette = this->palette();
    palette.setBrush(QPalette::Window, brBackground);
    setPalette(palette);
    setAutoFillBackground(true);
    for (CWBButton* pButton : {m_pUi->buttonWriteMeasured, m_pUi->buttonWriteWeights,
                               m_pUi->buttonOk, m_pUi->buttonCancel})
        pButton->LoadStandardSkin();

    m_pUi->comboRle->addItems(CValueTables::Entries(CValueTables::List::OnOff));
    m_pUi->comboRln->addItems(CValueTables::Entries(CValueTables::List::LinearPoints));
    m_pUi->comboRle->setCurrentIndex(
        CValueTables::PositionOf(CValueTables::List::OnOff, m_record.m_nRle));
    m_pUi->comboRln->setCurrentIndex(
        CValueTables::PositionOf(CValueTables::List::LinearPoints, m_record.m_nRln));
    const QList<QLineEdit*> arrMeasured = MeasuredFields();
    const QList<QLineEdit*> arrWeights = WeightFields();
    for (int i = 0; i < 8; ++i) {
        arrMeasured[i]->setText(QString::number(m_record.m_arrManualMeasured[std::size_t(i)]));
        arrWeights[i]->setText(QString::number(m_record.m_arrManualWeight[std::size_t(i)]));
    }
    ShowVisibility();

    connect(m_pUi->comboRle, &QComboBox::activated, this, [this](int nIndex) {
        m_record.m_nRle = CValueTables::ArgumentAt(CValueTables::List::OnOff, nIndex);
        m_request(ParamRequest::Kind::WriteEnable);
    });
    connect(m_pUi->comboRln, &QComboBox::activated, this, [this](int nIndex) {
        const int nRln = CValueTables::ArgumentAt(CValueTables::List::LinearPoints, nIndex);
        m_record.m_nRln = nRln;
        m_record.m_nManualMeasuredCount = nRln;
        m_record.m_nManualWeightCount = nRln;
        ShowVisibility();
        m_request(ParamRequest::Kind::WriteCount);
    });
    connect(m_pUi->buttonWriteMeasured, &QPushButton::clicked, this, [this] {
        if (ReadFields(MeasuredFields(), m_record.m_arrManualMeasured))
            m_request(ParamRequest::Kind::WriteMeasured);
    });
    connect(m_pUi->buttonWriteWeights, &QPushButton::clicked, this, [this] {
        if (ReadFields(WeightFields(), m_record.m_arrManualWeight))
            m_request(ParamRequest::Kind::WriteWeights);
    });
    connect(m_pUi->buttonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pUi->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

CAdvancedLinDialog::~CAdvancedLinDialog() = default;

QList<QLineEdit*> CAdvancedLinDialog::MeasuredFields() const
{
    return {m_pUi->editM0, m_pUi->editM1, m_pUi->editM2, m_pUi->editM3,
            m_pUi->editM4, m_pUi->editM5, m_pUi->editM6, m_pUi->editM7};
}

QList<QLineEdit*> CAdvancedLinDialog::WeightFields() const
{
    return {m_pUi->editP0, m_pUi->editP1, m_pUi->editP2, m_pUi->editP3,
            m_pUi->editP4, m_pUi->editP5, m_pUi->editP6, m_pUi->editP7};
}

void CAdvancedLinDialog::ShowVisibility()
{
    const QList<QWidget*> arrHidden = {
        m_pUi->labelM4, m_pUi->labelM5, m_pUi->labelM6, m_pUi->labelM7,
        m_pUi->editM4,  m_pUi->editM5,  m_pUi->editM6,  m_pUi->editM7,
        m_pUi->labelP4, m_pUi->labelP5, m_pUi->labelP6, m_pUi->labelP7,
        m_pUi->editP4,  m_pUi->editP5,  m_pUi->editP6,  m_pUi->editP7};
    for (int i = 0; i < arrHidden.size(); ++i)
        arrHidden[i]->setVisible(CCalibrationChecks::IsPointVisible(4 + i % 4, m_record.m_nRln));
}

bool CAdvancedLinDialog::ReadFields(const QList<QLineEdit*>& arrEdits,
                                    std::array<qint32, 8>& arrValues)
{
    std::array<qint32, 8> arrRead{};
    for (int i = 0; i < arrEdits.size(); ++i) {
        std::optional<qint32> nValue;
        if (!CCalibrationChecks::ParseField(arrEdits[i]->text(), nValue)) {
            arrEdits[i]->setFocus();
            arrEdits[i]->selectAll();
            m_context.ShowMessage(QStringLiteral("请输入一个整数。"));
            return false;
        }
        arrRead[std::size_t(i)] = nValue.value_or(0);
    }
    arrValues = arrRead;
    return true;
}
