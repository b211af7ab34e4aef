#pragma once

#include <QDialog>

#include <memory>

class QLineEdit;

namespace Ui {
class HistoryCoefDialog;
}

// "曲线参数": value-axis maximum, minimum and divisions of the real-time and
// the history curve. Divisions must be 1..100; maximum and minimum are not
// compared.
class CHistoryCoefDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CHistoryCoefDialog(QWidget* parent = nullptr);
    ~CHistoryCoefDialog() override;

    // Before the dialog is shown, in record order; the edits take them when it opens.
    void SetValues(int nRealTimeMax, int nRealTimeMin, int nRealTimeDivisions, int nHistoryMax,
                   int nHistoryMin, int nHistoryDivisions);
    // After OK; unchanged by cancel or a refused OK.
    void GetValues(int& nRealTimeMax, int& nRealTimeMin, int& nRealTimeDivisions, int& nHistoryMax,
                   int& nHistoryMin, int& nHistoryDivisions) const;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Reads one edit; on a refusal shows the message, focuses the edit and fails.
    bool ExchangeInt(QLineEdit* pEdit, int& nValue);
    bool ExchangeIntRange(QLineEdit* pEdit, int& nValue, int nMin, int nMax);
    void Refuse(QLineEdit* pEdit, const QString& strMessage);

    std::unique_ptr<Ui::HistoryCoefDialog> m_pUi;
    int m_nValues[6] = {100, -100, 20, 100, -100, 20};
};
