#pragma once

#include "multi/CircleSettings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class CCircleSetDialog;
}

// The patrol settings dialog: decimals, unit, highest address, data time-out
// and the grid colours, on a copy of the page's settings that the page takes
// back only on OK.
class CCircleSetDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CCircleSetDialog(QWidget* parent = nullptr);
    ~CCircleSetDialog() override;

    // Copies the whole record; the dialog's background is its brush. Returns true.
    bool SetSettings(const CircleSettings& settings);
    CircleSettings GetSettings() const { return m_settings; }

    // The list texts, index = value.
    static QStringList DecimalTexts();
    static QStringList UnitTexts();

public Q_SLOTS:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ChooseColour(quint32& crColour);

    std::unique_ptr<Ui::CCircleSetDialog> m_pUi;
    CircleSettings m_settings;
};
