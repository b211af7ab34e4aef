#include "multi/CircleSetDialog.h"

#include "multi/GridColour.h"
#include "ui_CircleSetDialog.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QShowEvent>

CCircleSetDialog::CCircleSetDialog(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::CCircleSetDialog>())
{
    m_pUi->setupUi(this);
    setFixedSize(size());
    m_pUi->comboDecimals->addItems(DecimalTexts());
    m_pUi->comboUnit->addItems(UnitTexts());
    for (int i = 0; i <= CircleSettings::kLastAddress; ++i)
        m_pUi->comboMaxAddress->addItem(QString::number(i));
    m_pUi->buttonGridBack->LoadStandardSkin();
    m_pUi->buttonGridFore->LoadStandardSkin();

    connect(m_pUi->comboDecimals, &QComboBox::currentIndexChanged, this,
            [this](int nIndex) { m_settings.m_nDecimals = qMax(0, nIndex); });
    connect(m_pUi->comboUnit, &QComboBox::currentIndexChanged, this,
            [this](int nIndex) { m_settings.m_nUnit = qMax(0, nIndex); });
    connect(m_pUi->comboMaxAddress, &QComboBox::currentIndexChanged, this,
            [this](int nIndex) { m_settings.m_nMaxAddress = qMax(0, nIndex); });
    connect(m_pUi->buttonGridBack, &QPushButton::clicked, this,
            [this] { ChooseColour(m_settings.m_crGridBack); });
    connect(m_pUi->buttonGridFore, &QPushButton::clicked, this,
            [this] { ChooseColour(m_settings.m_crGridFore); });
    connect(m_pUi->buttonOk, &QPushButton::clicked, this, &CCircleSetDialog::accept);
    connect(m_pUi->buttonCancel, &QPushButton::clicked, this, &CCircleSetDialog::reject);
}

CCircleSetDialog::~CCircleSetDialog() = default;

QStringList CCircleSetDialog::DecimalTexts()
{
    return {QStringLiteral("xxxxxxx."), QStringLiteral("xxxxxx.x"), QStringLiteral("xxxxx.xx"),
            QStringLiteral("xxxx.xxx"), QStringLiteral("xxx.xxxx"), QStringLiteral("xx.xxxxx"),
            QStringLiteral("x.xxxxxx")};
}

QStringList CCircleSetDialog::UnitTexts()
{
    return {QStringLiteral("g"),   QStringLiteral("Kg"),  QStringLiteral("t"),
            QStringLiteral("lb"),  QStringLiteral("klb"), QStringLiteral("N"),
            QStringLiteral("kN"),  QStringLiteral("MN"),  QStringLiteral("Pa"),
            QStringLiteral("KPa"), QStringLiteral("MPa")};
}

bool CCircleSetDialog::SetSettings(const CircleSettings& settings)
{
    // Out-of-range fields are brought into range, so every list has its item.
    m_settings = settings.Clamped();
    QPalette palette = this->palette();
    palette.setBrush(QPalette::Window, m_settings.m_hBrush);
    setPalette(palette);
    return true;
}

void CCircleSetDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        const CircleSettings settings = m_settings;
        m_pUi->comboDecimals->setCurrentIndex(settings.m_nDecimals);
        m_pUi->comboUnit->setCurrentIndex(settings.m_nUnit);
        m_pUi->comboMaxAddress->setCurrentIndex(settings.m_nMaxAddress);
        m_pUi->editTimeout->setText(QString::number(settings.m_nTimeout));
    }
    QDialog::showEvent(event);
}

void CCircleSetDialog::ChooseColour(quint32& crColour)
{
    QColorDialog dialog(Qt::black, this);
    if (dialog.exec() == QDialog::Accepted)
        crColour = CGridColour::RefFromColor(dialog.selectedColor());
}

void CCircleSetDialog::accept()
{
    bool bParsed = false;
    const int nTimeout = m_pUi->editTimeout->text().trimmed().toInt(&bParsed);
    QString strRefusal;
    if (!bParsed)
        strRefusal = QStringLiteral("请输入一个整数。");
    else if (nTimeout < CircleSettings::kMinTimeoutMs || nTimeout > CircleSettings::kMaxTimeoutMs)
        strRefusal = QStringLiteral("请输入一个介于 %1 和 %2 之间的整数。")
                         .arg(CircleSettings::kMinTimeoutMs)
                         .arg(CircleSettings::kMaxTimeoutMs);
    if (!strRefusal.isEmpty()) {
        QMessageBox::warning(this, QGuiApplication::applicationDisplayName(), strRefusal);
        m_pUi->editTimeout->setFocus();
        m_pUi->editTimeout->selectAll();
        return;
    }
    m_settings.m_nTimeout = nTimeout;
    QDialog::accept();
}
