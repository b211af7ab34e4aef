#pragma once

#include "settings/ComSettings.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace Ui {
class ComSettingDialog;
}

// "串口设置": the bus port number, its line settings and the device behind the
// port number.
//
// A port number outside 1..256, or data or stop bits outside their lists,
// leave that list without a selection; OK then keeps the value given for that
// field.
class CComSettingDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CComSettingDialog(QWidget* parent = nullptr);
    ~CComSettingDialog() override;

    // Before the dialog is shown; the lists take the values when it opens.
    void SetComSettings(const ComSettings& settings);
    // After OK; unchanged by cancel.
    ComSettings GetComSettings() const;

    // The device of the port: empty means the default device for the number.
    void SetDevice(const QString& strDevice);
    QString Device() const { return m_strDevice; }

    // Asked for the device of a port number the user picks in the list, so the
    // device box follows the choice. Unset: the box keeps its text.
    using DeviceLookup = std::function<QString(int nPort)>;
    void SetDeviceLookup(DeviceLookup lookup);

    // Serial ports found on this machine, /dev/serial/by-id names included.
    static QStringList DetectedDevices();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowValues();
    void OnPortActivated(int nIndex);
    void UpdateDevicePlaceholder();

    std::unique_ptr<Ui::ComSettingDialog> m_pUi;
    int m_nPort = 1;
    int m_nBaud = 19200;
    int m_nDataBits = 8;
    int m_nStopBits = 1;
    char m_cParity = 'E';
    quint32 m_nParityHigh = 0; // bytes above the letter, kept as given
    QString m_strDevice;
    DeviceLookup m_deviceLookup;
};
