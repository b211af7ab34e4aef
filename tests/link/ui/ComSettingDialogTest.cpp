#include "link/ComSettingDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct Values
{
    int nPort = 0;
    int nBaud = 0;
    int nDataBits = 0;
    int nStopBits = 0;
    char cParity = 0;
};

Values ValuesOf(const CComSettingDialog& dialog)
{
    const ComSettings settings = dialog.GetComSettings();
    return {settings.m_nPort, settings.m_nBaud, settings.m_nDataBits, settings.m_nStopBits,
            settings.ParityLetter()};
}

ComSettings Settings(int nPort, int nBaud, int nDataBits, int nStopBits, char cParity)
{
    ComSettings settings;
    settings.m_nPort = nPort;
    settings.m_nBaud = nBaud;
    settings.m_nDataBits = nDataBits;
    settings.m_nStopBits = nStopBits;
    settings.m_nParity = static_cast<quint8>(cParity);
    return settings;
}

QPushButton* Button(const QDialog& dialog, const QString& strText)
{
    for (QPushButton* pButton : dialog.findChildren<QPushButton*>())
        if (pButton->text() == strText)
            return pButton;
    return nullptr;
}

} // namespace

class CComSettingDialogTest : public QObject
{
    Q_OBJECT

private:
    // Combos by the text of their label, as a user finds them.
    static QComboBox* Combo(const QDialog& dialog, const QString& strLabel)
    {
        for (QLabel* pLabel : dialog.findChildren<QLabel*>())
            if (pLabel->text() == strLabel)
                return qobject_cast<QComboBox*>(pLabel->buddy());
        return nullptr;
    }

    static void ClickOk(CComSettingDialog& dialog)
    {
        QPushButton* pOk = Button(dialog, "确定");
        QVERIFY(pOk);
        QTest::mouseClick(pOk, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

private slots:
    void layoutAndEntries()
    {
        CComSettingDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("串口设置"));
        QVERIFY(Button(dialog, "确定"));
        QVERIFY(Button(dialog, "取消"));

        const QStringList labels = {"串口号:", "波特率:", "数据位:", "停止位:", "校验位:"};
        for (const QString& strLabel : labels) {
            QComboBox* pCombo = Combo(dialog, strLabel);
            QVERIFY2(pCombo, qPrintable(strLabel));
            QVERIFY(!pCombo->isEditable());
        }
        QComboBox* pPort = Combo(dialog, "串口号:");
        QCOMPARE(pPort->count(), 256);
        QCOMPARE(pPort->itemText(0), QString("COM1"));
        QCOMPARE(pPort->itemText(255), QString("COM256"));

        QStringList bauds;
        QComboBox* pBaud = Combo(dialog, "波特率:");
        for (int i = 0; i < pBaud->count(); ++i)
            bauds << pBaud->itemText(i);
        QCOMPARE(bauds, QStringList({"1200", "2400", "4800", "9600", "19200", "38400", "57600",
                                     "115200", "230400", "460800", "829440", "921600"}));
        QCOMPARE(Combo(dialog, "数据位:")->count(), 3);
        QCOMPARE(Combo(dialog, "数据位:")->itemText(0), QString("6"));
        QCOMPARE(Combo(dialog, "停止位:")->itemText(1), QString("2"));
        QComboBox* pParity = Combo(dialog, "校验位:");
        QCOMPARE(pParity->count(), 3);
        QCOMPARE(pParity->itemText(0), QString("无校验"));
        QCOMPARE(pParity->itemText(1), QString("奇校验"));
        QCOMPARE(pParity->itemText(2), QString("偶校验"));

        QComboBox* pDevice = Combo(dialog, "设备:");
        QVERIFY(pDevice);
        QVERIFY(pDevice->isEditable());
    }

    void defaultsAreSelected()
    {
        CComSettingDialog dialog;
        dialog.SetComSettings(ComSettings());
        dialog.show();
        QCOMPARE(Combo(dialog, "串口号:")->currentText(), QString("COM1"));
        QCOMPARE(Combo(dialog, "波特率:")->currentText(), QString("19200"));
        QCOMPARE(Combo(dialog, "数据位:")->currentText(), QString("8"));
        QCOMPARE(Combo(dialog, "停止位:")->currentText(), QString("1"));
        QCOMPARE(Combo(dialog, "校验位:")->currentText(), QString("偶校验"));
        // Detected ports are offered, but none is picked on the user's behalf.
        QVERIFY(Combo(dialog, "设备:")->currentText().isEmpty());
        ClickOk(dialog);
        QCOMPARE(dialog.GetComSettings(), ComSettings());
        QVERIFY(dialog.Device().isEmpty());
    }

    void unlistedBaudFallsBackTo19200()
    {
        CComSettingDialog dialog;
        dialog.SetComSettings(Settings(3, 14400, 7, 2, 'N'));
        dialog.show();
        QCOMPARE(Combo(dialog, "波特率:")->currentText(), QString("19200"));
        ClickOk(dialog);
        const Values v = ValuesOf(dialog);
        QCOMPARE(v.nBaud, 19200);
        QCOMPARE(v.nPort, 3);
        QCOMPARE(v.nDataBits, 7);
        QCOMPARE(v.nStopBits, 2);
        QCOMPARE(v.cParity, 'N');
    }

    void parityLetters_data()
    {
        QTest::addColumn<char>("cGiven");
        QTest::addColumn<QString>("strShown");
        QTest::addColumn<char>("cTaken");
        QTest::newRow("O") << 'O' << "奇校验" << 'O';
        QTest::newRow("o") << 'o' << "奇校验" << 'O';
        QTest::newRow("n") << 'n' << "无校验" << 'N';
        QTest::newRow("e") << 'e' << "偶校验" << 'E';
        QTest::newRow("other") << 'M' << "偶校验" << 'E';
    }

    void parityLetters()
    {
        QFETCH(char, cGiven);
        QFETCH(QString, strShown);
        QFETCH(char, cTaken);
        CComSettingDialog dialog;
        dialog.SetComSettings(Settings(1, 9600, 8, 1, cGiven));
        dialog.show();
        QCOMPARE(Combo(dialog, "校验位:")->currentText(), strShown);
        ClickOk(dialog);
        QCOMPARE(ValuesOf(dialog).cParity, cTaken);
        QCOMPARE(ValuesOf(dialog).nBaud, 9600);
    }

    void userChoicesAreTaken()
    {
        CComSettingDialog dialog;
        dialog.SetComSettings(ComSettings());
        dialog.show();
        Combo(dialog, "串口号:")->setCurrentIndex(Combo(dialog, "串口号:")->findText("COM12"));
        Combo(dialog, "波特率:")->setCurrentIndex(Combo(dialog, "波特率:")->findText("921600"));
        Combo(dialog, "数据位:")->setCurrentIndex(Combo(dialog, "数据位:")->findText("7"));
        Combo(dialog, "停止位:")->setCurrentIndex(Combo(dialog, "停止位:")->findText("2"));
        Combo(dialog, "校验位:")->setCurrentIndex(Combo(dialog, "校验位:")->findText("无校验"));
        ClickOk(dialog);
        const ComSettings taken = dialog.GetComSettings();
        QCOMPARE(taken.m_nPort, 12);
        QCOMPARE(taken.m_nBaud, 921600);
        QCOMPARE(taken.m_nDataBits, 7);
        QCOMPARE(taken.m_nStopBits, 2);
        QCOMPARE(taken.m_nParity, quint32('N'));
    }

    void valuesOutsideTheListsAreKept()
    {
        CComSettingDialog dialog;
        dialog.SetComSettings(Settings(300, 19200, 5, 3, 'E'));
        dialog.show();
        QCOMPARE(Combo(dialog, "串口号:")->currentIndex(), -1);
        QCOMPARE(Combo(dialog, "数据位:")->currentIndex(), -1);
        QCOMPARE(Combo(dialog, "停止位:")->currentIndex(), -1);
        ClickOk(dialog);
        const Values v = ValuesOf(dialog);
        QCOMPARE(v.nPort, 300);
        QCOMPARE(v.nDataBits, 5);
        QCOMPARE(v.nStopBits, 3);

        dialog.SetComSettings(Settings(0, 19200, 8, 0, 'E'));
        dialog.show();
        QCOMPARE(Combo(dialog, "串口号:")->currentIndex(), -1);
        QCOMPARE(Combo(dialog, "停止位:")->currentIndex(), -1);
        QCOMPARE(Combo(dialog, "数据位:")->currentText(), QString("8"));
    }

    void cancelTakesNothingAndReopeningShowsTheValues()
    {
        CComSettingDialog dialog;
        dialog.SetComSettings(Settings(2, 4800, 8, 1, 'O'));
        dialog.SetDevice("/dev/ttyUSB0");
        dialog.show();
        Combo(dialog, "波特率:")->setCurrentIndex(0);
        Combo(dialog, "设备:")->setEditText("/dev/other");
        QTest::mouseClick(Button(dialog, "取消"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(ValuesOf(dialog).nBaud, 4800);
        QCOMPARE(dialog.Device(), QString("/dev/ttyUSB0"));

        dialog.show();
        QCOMPARE(Combo(dialog, "波特率:")->currentText(), QString("4800"));
        QCOMPARE(Combo(dialog, "设备:")->currentText(), QString("/dev/ttyUSB0"));
    }

    void typedDeviceComesBack()
    {
        CComSettingDialog dialog;
        dialog.show();
        QComboBox* pDevice = Combo(dialog, "设备:");
        QTest::keyClicks(pDevice->lineEdit(), "/tmp/sim-pty");
        ClickOk(dialog);
        QCOMPARE(dialog.Device(), QString("/tmp/sim-pty"));

        // Emptying the box hands the number back to its default device.
        dialog.show();
        QCOMPARE(pDevice->currentText(), QString("/tmp/sim-pty"));
        pDevice->lineEdit()->clear();
        ClickOk(dialog);
        QVERIFY(dialog.Device().isEmpty());
    }

    void deviceFollowsThePickedPort()
    {
        CComSettingDialog dialog;
        dialog.SetDeviceLookup(
            [](int nPort) { return nPort == 5 ? QStringLiteral("/dev/pts/9") : QString(); });
        dialog.SetComSettings(Settings(4, 19200, 8, 1, 'E'));
        dialog.SetDevice("/dev/pts/1");
        dialog.show();
        QComboBox* pPort = Combo(dialog, "串口号:");
        QComboBox* pDevice = Combo(dialog, "设备:");
        QCOMPARE(pDevice->currentText(), QString("/dev/pts/1"));
        QTest::keyClick(pPort, Qt::Key_Down);
        QCOMPARE(pPort->currentText(), QString("COM5"));
        QCOMPARE(pDevice->currentText(), QString("/dev/pts/9"));
        QTest::keyClick(pPort, Qt::Key_Down);
        QVERIFY(pDevice->currentText().isEmpty());
        QCOMPARE(pDevice->lineEdit()->placeholderText(), QString("/dev/ttyS5"));
        ClickOk(dialog);
        QCOMPARE(ValuesOf(dialog).nPort, 6);
        QVERIFY(dialog.Device().isEmpty());
    }

    void parityWordKeepsItsUpperBytes()
    {
        ComSettings given;
        given.m_nParity = 0x12345600u | 'N';
        CComSettingDialog dialog;
        dialog.SetComSettings(given);
        dialog.show();
        Combo(dialog, "校验位:")->setCurrentIndex(1);
        ClickOk(dialog);
        QCOMPARE(dialog.GetComSettings().m_nParity, 0x12345600u | 'O');
        QCOMPARE(dialog.GetComSettings().ParityLetter(), 'O');
    }
};

QTEST_MAIN(CComSettingDialogTest)
#include "ComSettingDialogTest.moc"
