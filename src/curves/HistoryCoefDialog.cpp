#include "curves/HistoryCoefDialog.h"

#include "ui_HistoryCoefDialog.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QShowEvent>

namespace {

constexpr int kMinDivisions = 1;
constexpr int kMaxDivisions = 100;

enum Field
{
    RealTimeMax,
    RealTimeMin,
    RealTimeDivisions,
    HistoryMax,
    HistoryMin,
    HistoryDivisions
};

} // namespace

CHistoryCoefDialog::CHistoryCoefDialog(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::HistoryCoefDialog>())
{
    m_pUi->setupUi(this);
}

CHistoryCoefDialog::~CHistoryCoefDialog() = default;

void CHistoryCoefDialog::SetValues(int nRealTimeMax, int nRealTimeMin, int nRealTimeDivisions,
                                   int nHistoryMax, int nHistoryMin, int nHistoryDivisions)
{
    m_nValues[RealTimeMax] = nRealTimeMax;
    m_nValues[RealTimeMin] = nRealTimeMin;
    m_nValues[RealTimeDivisions] = nRealTimeDivisions;
    m_nValues[HistoryMax] = nHistoryMax;
    m_nValues[HistoryMin] = nHistoryMin;
    m_nValues[HistoryDivisions] = nHistoryDivisions;
}

void CHistoryCoefDialog::GetValues(int& nRealTimeMax, int& nRealTimeMin, int& nRealTimeDivisions,
                                   int& nHistoryMax, int& nHistoryMin, int& nHistoryDivisions) const
{
    nRealTimeMax = m_nValues[RealTimeMax];
    nRealTimeMin = m_nValues[RealTimeMin];
    nRealTimeDivisions = m_nValues[RealTimeDivisions];
    nHistoryMax = m_nValues[HistoryMax];
    nHistoryMin = m_nValues[HistoryMin];
    nHistoryDivisions = m_nValues[HistoryDivisions];
}

void CHistoryCoefDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        m_pUi->editRealTimeMax->setText(QString::number(m_nValues[RealTimeMax]));
        m_pUi->editRealTimeMin->setText(QString::number(m_nValues[RealTimeMin]));
        m_pUi->editRealTimeDivisions->setText(QString::number(m_nValues[RealTimeDivisions]));
        m_pUi->editHistoryMax->setText(QString::number(m_nValues[HistoryMax]));
        m_pUi->editHistoryMin->setText(QString::number(m_nValues[HistoryMin]));
        m_pUi->editHistoryDivisions->setText(QString::number(m_nValues[HistoryDivisions]));
    }
    QDialog::showEvent(event);
}

void CHistoryCoefDialog::accept()
{
    // The first refused edit in this order is the one reported.
    int nValues[6];
    const bool bOk = ExchangeIntRange(m_pUi->editHistoryDivisions, nValues[HistoryDivisions],
                                      kMinDivisions, kMaxDivisions) &&
                     ExchangeInt(m_pUi->editHistoryMax, nValues[HistoryMax]) &&
                     ExchangeInt(m_pUi->editHistoryMin, nValues[HistoryMin]) &&
                     ExchangeIntRange(m_pUi->editRealTimeDivisions, nValues[RealTimeDivisions],
                                      kMinDivisions, kMaxDivisions) &&
                     ExchangeInt(m_pUi->editRealTimeMax, nValues[RealTimeMax]) &&
                     ExchangeInt(m_pUi->editRealTimeMin, nValues[RealTimeMin]);
    if (!bOk)
        return;
    std::copy(std::begin(nValues), std::end(nValues), std::begin(m_nValues));
    QDialog::accept();
}

bool CHistoryCoefDialog::ExchangeInt(QLineEdit* pEdit, int& nValue)
{
    bool bParsed = false;
    nValue = pEdit->text().trimmed().toInt(&bParsed);
    if (bParsed)
        return true;
    Refuse(pEdit, QStringLiteral("请输入一个整数。"));
    return false;
}

bool CHistoryCoefDialog::ExchangeIntRange(QLineEdit* pEdit, int& nValue, int nMin, int nMax)
{
    if (!ExchangeInt(pEdit, nValue))
        return false;
    if (nValue >= nMin && nValue <= nMax)
        return true;
    Refuse(pEdit, QStringLiteral("请输入一个介于 %1 和 %2 之间的整数。").arg(nMin).arg(nMax));
    return false;
}

void CHistoryCoefDialog::Refuse(QLineEdit* pEdit, const QString& strMessage)
{
    QMessageBox::warning(this, QGuiApplication::applicationDisplayName(), strMessage);
    pEdit->setFocus();
    pEdit->selectAll();
}
