#include "TestPageContext.h"

#include "params/ParamSettingsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

SimOptions Module5()
{
    SimOptions options;
    options.m_arrAddresses = {5};
    return options;
}

template <class T> T* Child(QWidget& parent, const char* pszName)
{
    T* pChild = parent.findChild<T*>(QLatin1String(pszName));
    if (!pChild)
        qFatal("no child %s", pszName);
    return pChild;
}

void Set(QWidget& parent, const char* pszName, const QString& strText)
{
    Child<QLineEdit>(parent, pszName)->setText(strText);
}

void Click(QWidget& parent, const char* pszName)
{
    QTest::mouseClick(Child<QPushButton>(parent, pszName), Qt::LeftButton);
}

void Choose(QWidget& parent, const char* pszName, int nIndex)
{
    QComboBox* pList = Child<QComboBox>(parent, pszName);
    pList->setCurrentIndex(nIndex);
    Q_EMIT pList->activated(nIndex);
}

// The page on module 5 with its port open.
struct CPageRig
{
    CPageRig()
    {
        QVERIFY(context.OpenBusPort());
        QVERIFY(context.Simulator().Bus().SetRaw(5, 123456));
        page.SelectAddress(5);
    }
    bool Sent(const QByteArray& frame)
    {
        return context.Simulator().Bus().FrameLog().contains(frame);
    }
    CTestPageContext context{Module5()};
    CParamSettingsDialog page{context};
};

} // namespace

// The calibration and linearisation controls of the parameter page, on the
// pty simulator: what the user sees and the frames on the wire.
class CalibrationPageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksShowTheirBoxAndSendNothing_data()
    {
        QTest::addColumn<QStringList>("fields"); // LDW, LWT, NOV
        QTest::addColumn<QString>("strButton");
        QTest::addColumn<QString>("strMessage");
        const QString strPoints = QStringLiteral("buttonWritePoints");
        const QString strNominal = QStringLiteral("buttonWriteNominal");
        QTest::newRow("LDW empty") << QStringList{"", "5", ""} << strPoints << "LDW不能为空!";
        QTest::newRow("LWT empty") << QStringList{"1", "", ""} << strPoints << "LWT不能为空!";
        QTest::newRow("equal") << QStringList{"1000", "1000", ""} << strPoints << "LWT不能小于LDW!";
        QTest::newRow("NOV 701") << QStringList{"-500", "200", "701"} << strNominal
                                 << "NOV不能大于|LWT-LDW|!";
        QTest::newRow("12a") << QStringList{"12a", "200", ""} << strPoints << "请输入一个整数。";
        QTest::newRow("1,000") << QStringList{"1", "2", "1,000"} << strNominal
                               << "请输入一个整数。";
        QTest::newRow("beyond 32 bits")
            << QStringList{"1", "99999999999", ""} << strPoints << "请输入一个整数。";
    }
    void checksShowTheirBoxAndSendNothing()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, strButton);
        QFETCH(QString, strMessage);
        CPageRig rig;
        const ModuleParamRecord before = rig.page.Record();
        Set(rig.page, "editLdw", fields[0]);
        Set(rig.page, "editLwt", fields[1]);
        Set(rig.page, "editNov", fields[2]);
        Click(rig.page, strButton.toLatin1().constData());
        QCOMPARE(rig.context.Messages(), QStringList{strMessage});
        QVERIFY(!rig.page.Worker().IsRunning());
        QVERIFY(rig.page.Record() == before);
    }

    void writeBothShowsItsStepsAndNamesARefusal()
    {
        CPageRig rig;
        QStringList arrTexts;
        connect(&rig.page.Worker(), &CParamWorker::ProgressShown, &rig.page,
                [&](const QString& strText) { arrTexts.append(strText); });
        connect(&rig.page.Worker(), &CParamWorker::ProgressCleared, &rig.page,
                [&] { arrTexts.append(QString()); });
        Set(rig.page, "editLdw", "1000");
        Set(rig.page, "editLwt", "2000");
        Set(rig.page, "editNov", "500"); // not left: the button takes it anyway
        Click(rig.page, "buttonWritePoints");
        QTRY_COMPARE_WITH_TIMEOUT(arrTexts.size(), 6, 20000);
        QCOMPARE(arrTexts,
                 QStringList({"写入LDW...", "写入LWT...", "", "写入NOV...", "写入TDD1...", ""}));
        QCOMPARE(rig.page.Record().m_nNov, 500);
        QVERIFY(rig.Sent("S05;NOV500;"));

        SimFaults faults;
        faults.m_arrRefusedWrites = {"LWT"};
        rig.context.Simulator().SetFaults(faults);
        Click(rig.page, "buttonWritePoints");
        QTRY_COMPARE_WITH_TIMEOUT(rig.context.Messages(), QStringList{"写入失败: LWT"}, 20000);
    }

    void captureAndLinearisation()
    {
        CPageRig rig;
        Click(rig.page, "buttonCaptureZero");
        QTRY_COMPARE_WITH_TIMEOUT(Child<QLineEdit>(rig.page, "editLdw")->text(),
                                  QStringLiteral("123456"), 20000);
        QCOMPARE(rig.page.Record().m_nLdw, 123456);

        Choose(rig.page, "comboRln", 2);
        QString strShown;
        for (int i = 0; i < 8; ++i)
            strShown += Child<QLineEdit>(rig.page, qPrintable(QStringLiteral("editRlc%1").arg(i)))
                                ->isHidden()
                            ? '0'
                            : '1';
        QCOMPARE(strShown, QStringLiteral("11111100"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.Sent("S05;RLN6;"), 20000);

        Set(rig.page, "editRlc2", "-1234");
        Click(rig.page, "buttonRlc2");
        QTRY_VERIFY_WITH_TIMEOUT(rig.Sent("S05;RLC2,-1234;"), 20000);
        QCOMPARE(rig.page.Record().m_arrRlc[2], -1234);
    }

    void manualDialogPostsThroughThePage()
    {
        CPageRig rig;
        QVERIFY(Child<QPushButton>(rig.page, "buttonAdvanced")->isHidden());
        bool bActed = false;
        QTimer::singleShot(0, &rig.page, [&] {
            QWidget* pDialog = QApplication::activeModalWidget();
            QVERIFY(pDialog);
            Choose(*pDialog, "comboRle", 1);
            QTRY_VERIFY_WITH_TIMEOUT(rig.Sent("S05;RLE1;"), 20000);
            // Values, then all fields empty: eight zeros.
            int nShown = 0;
            for (const QString& strText : {QStringLiteral("7"), QString()}) {
                for (int i = 0; i < 8; ++i)
                    Set(*pDialog, qPrintable(QStringLiteral("editM%1").arg(i)), strText);
                Click(*pDialog, "buttonWriteMeasured");
                QCOMPARE(rig.page.Record().m_arrManualMeasured[7], strText.toInt());
                ++nShown;
                QTRY_COMPARE_WITH_TIMEOUT(rig.context.Messages().count("WriteRLM"), nShown, 20000);
            }
            bActed = true;
            Click(*pDialog, "buttonOk");
        });
        rig.page.OpenAdvancedLinearisation();
        QVERIFY(bActed);
        QCOMPARE(rig.page.Record().m_nRle, 1);
        QCOMPARE(rig.page.Record().m_arrManualMeasured, (std::array<qint32, 8>{}));
        QCOMPARE(Child<QComboBox>(rig.page, "comboRle")->currentText(), QStringLiteral("OFF"));
    }
};

QTEST_MAIN(CalibrationPageTest)
#include "CalibrationPageTest.moc"
