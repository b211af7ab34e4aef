#include "link/ComSettingDialog.h"

#include "link/BusLink.h"
#include "ui_ComSettingDialog.h"

#include <QDir>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QShowEvent>

namespace {

constexpr int kPortCount = 256;
constexpr int kBauds[] = {1200,  2400,   4800,   9600,   19200,  38400,
                          57600, 115200, 230400, 460800, 829440, 921600};
constexpr int kFallbackBaudIndex = 4; // "19200"
constexpr int kFirstDataBits = 6;
constexpr int kDataBitsCount = 3;
constexpr int kFirstStopBits = 1;
constexpr int kStopBitsCount = 2;
constexpr char kParities[] = {'N', 'O', 'E'};
// "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP3B-if00-port0" and a little more.
constexpr int kDeviceNameChars = 64;

// -1 (no selection) when nValue - nFirst is not an entry of a list of nCount.
int EntryIndex(int nValue, int nFirst, int nCount)
{
    const int nIndex = nValue - nFirst;
    return nIndex >= 0 && nIndex < nCount ? nIndex : -1;
}

int BaudIndex(int nBaud)
{
    for (int i = 0; i < static_cast<int>(std::size(kBauds)); ++i)
        if (kBauds[i] == nBaud)
            return i;
    return kFallbackBaudIndex;
}

int ParityIndex(char cParity)
{
    switch (cParity) {
    case 'N':
    case 'n':
        return 0;
    case 'O':
    case 'o':
        return 1;
    default:
        return 2;
    }
}

} // namespace

CComSettingDialog::CComSettingDialog(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::ComSettingDialog>())
{
    m_pUi->setupUi(this);

    for (int i = 1; i <= kPortCount; ++i)
        m_pUi->comboPort->addItem(QStringLiteral("COM%1").arg(i));
    for (int nBaud : kBauds)
        m_pUi->comboBaud->addItem(QString::number(nBaud));
    for (int i = 0; i < kDataBitsCount; ++i)
        m_pUi->comboDataBits->addItem(QString::number(kFirstDataBits + i));
    for (int i = 0; i < kStopBitsCount; ++i)
        m_pUi->comboStopBits->addItem(QString::number(kFirstStopBits + i));
    m_pUi->comboParity->addItems(
        {QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")});

    // Enter in the device box means OK, not "add this text to the list".
    m_pUi->comboDevice->setInsertPolicy(QComboBox::NoInsert);
    m_pUi->comboDevice->addItems(DetectedDevices());
    // Wide enough for a whole /dev/serial/by-id name; the tooltip holds it anyway.
    m_pUi->comboDevice->setMinimumContentsLength(kDeviceNameChars);
    m_pUi->comboDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(m_pUi->comboDevice, &QComboBox::editTextChanged, m_pUi->comboDevice,
            &QWidget::setToolTip);

    connect(m_pUi->comboPort, &QComboBox::activated, this, &CComSettingDialog::OnPortActivated);
    connect(m_pUi->comboPort, &QComboBox::currentIndexChanged, this,
            &CComSettingDialog::UpdateDevicePlaceholder);
    ShowValues();
}

CComSettingDialog::~CComSettingDialog() = default;

void CComSettingDialog::SetComSettings(const ComSettings& settings)
{
    m_nPort = settings.m_nPort;
    m_nBaud = settings.m_nBaud;
    m_nDataBits = settings.m_nDataBits;
    m_nStopBits = settings.m_nStopBits;
    m_cParity = settings.ParityLetter();
    m_nParityHigh = settings.m_nParity & ~0xFFu;
}

ComSettings CComSettingDialog::GetComSettings() const
{
    ComSettings settings;
    settings.m_nPort = m_nPort;
    settings.m_nBaud = m_nBaud;
    settings.m_nDataBits = m_nDataBits;
    settings.m_nStopBits = m_nStopBits;
    // The letter goes into the low byte; the rest of the word stays as given.
    settings.m_nParity = m_nParityHigh | static_cast<quint8>(m_cParity);
    return settings;
}

void CComSettingDialog::SetDevice(const QString& strDevice)
{
    m_strDevice = strDevice.trimmed();
}

void CComSettingDialog::SetDeviceLookup(DeviceLookup lookup)
{
    m_deviceLookup = std::move(lookup);
}

QStringList CComSettingDialog::DetectedDevices()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    if (byId.exists()) {
        // These are symlinks to device nodes, hence System.
        const QFileInfoList entries =
            byId.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& entry : entries)
            devices << entry.absoluteFilePath();
    }
    devices.removeDuplicates();
    return devices;
}

void CComSettingDialog::accept()
{
    // A list left without a selection keeps the value it was given.
    const int nPortIndex = m_pUi->comboPort->currentIndex();
    if (nPortIndex >= 0)
        m_nPort = nPortIndex + 1;
    const int nBaudIndex = m_pUi->comboBaud->currentIndex();
    if (nBaudIndex >= 0)
        m_nBaud = kBauds[nBaudIndex];
    const int nParityIndex = m_pUi->comboParity->currentIndex();
    if (nParityIndex >= 0)
        m_cParity = kParities[nParityIndex];
    const int nDataIndex = m_pUi->comboDataBits->currentIndex();
    if (nDataIndex >= 0)
        m_nDataBits = kFirstDataBits + nDataIndex;
    const int nStopIndex = m_pUi->comboStopBits->currentIndex();
    if (nStopIndex >= 0)
        m_nStopBits = kFirstStopBits + nStopIndex;
    m_strDevice = m_pUi->comboDevice->currentText().trimmed();
    QDialog::accept();
}

void CComSettingDialog::showEvent(QShowEvent* event)
{
    // Each opening shows the held values, not what a cancelled opening left.
    if (!event->spontaneous())
        ShowValues();
    QDialog::showEvent(event);
}

void CComSettingDialog::ShowValues()
{
    m_pUi->comboPort->setCurrentIndex(EntryIndex(m_nPort, 1, kPortCount));
    m_pUi->comboBaud->setCurrentIndex(BaudIndex(m_nBaud));
    m_pUi->comboDataBits->setCurrentIndex(EntryIndex(m_nDataBits, kFirstDataBits, kDataBitsCount));
    m_pUi->comboStopBits->setCurrentIndex(EntryIndex(m_nStopBits, kFirstStopBits, kStopBitsCount));
    m_pUi->comboParity->setCurrentIndex(ParityIndex(m_cParity));
    m_pUi->comboDevice->setCurrentIndex(-1);
    m_pUi->comboDevice->setEditText(m_strDevice);
    UpdateDevicePlaceholder();
}

void CComSettingDialog::OnPortActivated(int nIndex)
{
    if (m_deviceLookup && nIndex >= 0)
        m_pUi->comboDevice->setEditText(m_deviceLookup(nIndex + 1));
}

void CComSettingDialog::UpdateDevicePlaceholder()
{
    // An empty box means the default device of the chosen number.
    const int nIndex = m_pUi->comboPort->currentIndex();
    const QString strDefault = nIndex >= 0 ? CBusLink::DefaultDevice(nIndex + 1) : QString();
    m_pUi->comboDevice->lineEdit()->setPlaceholderText(strDefault);
}
