#include "curves/2dPlot.h"
#include "curves/FlyDialog.h"
#include "curves/HistoryCoefDialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

// Closes the first message box that opens and keeps its text, so that a
// refused OK can be checked without a user.
class CMessageBoxCatcher
{
public:
    CMessageBoxCatcher()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox)
                return;
            m_strText = pBox->text();
            ++m_nCount;
            pBox->done(QMessageBox::Ok);
        });
        m_timer.start();
    }

    QString m_strText;
    int m_nCount = 0;

private:
    QTimer m_timer;
};

struct Six
{
    int n[6] = {};
    bool operator==(const Six&) const = default;
};

Six ValuesOf(const CHistoryCoefDialog& dialog)
{
    Six s;
    dialog.GetValues(s.n[0], s.n[1], s.n[2], s.n[3], s.n[4], s.n[5]);
    return s;
}

QString Dump(const Six& s)
{
    QStringList parts;
    for (int n : s.n)
        parts << QString::number(n);
    return parts.join(',');
}

QPushButton* Button(const QWidget& dialog, const QString& strText)
{
    for (QPushButton* pButton : dialog.findChildren<QPushButton*>())
        if (pButton->text() == strText)
            return pButton;
    return nullptr;
}

QLineEdit* Edit(const QDialog& dialog, const char* pszName)
{
    return dialog.findChild<QLineEdit*>(pszName);
}

void SetText(QLineEdit* pEdit, const QString& strText)
{
    pEdit->selectAll();
    if (strText.isEmpty())
        QTest::keyClick(pEdit, Qt::Key_Backspace);
    else
        QTest::keyClicks(pEdit, strText);
}

} // namespace

class CCurveDialogsTest : public QObject
{
    Q_OBJECT

private:
    static QStringList Texts(const CFlyDialog& fly)
    {
        QStringList texts;
        for (const char* pszName : {"textCurrent", "textMax", "textMin", "textPeak"})
            texts << fly.findChild<QLabel*>(pszName)->text();
        return texts;
    }

    static QString Current(const CFlyDialog& fly)
    {
        return fly.findChild<QLabel*>("textCurrent")->text();
    }

private slots:
    void coefDialogShowsTheSixValuesInTheirGroups()
    {
        CHistoryCoefDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("曲线参数"));
        QVERIFY(Button(dialog, "确定")->isDefault());
        QVERIFY(Button(dialog, "取消"));
        dialog.SetValues(10, -10, 5, 200, -200, 40);
        dialog.show();

        const struct
        {
            const char* pszGroup;
            const char* pszEdit;
            QString strLabel;
            QString strValue;
        } fields[] = {
            {"实时曲线参数", "editRealTimeMax", "最大值:", "10"},
            {"实时曲线参数", "editRealTimeMin", "最小值:", "-10"},
            {"实时曲线参数", "editRealTimeDivisions", "均分数:", "5"},
            {"历史曲线参数", "editHistoryMax", "最大值:", "200"},
            {"历史曲线参数", "editHistoryMin", "最小值:", "-200"},
            {"历史曲线参数", "editHistoryDivisions", "均分数:", "40"},
        };
        for (const auto& field : fields) {
            QLineEdit* pEdit = Edit(dialog, field.pszEdit);
            QVERIFY(pEdit);
            QCOMPARE(pEdit->text(), field.strValue);
            auto* pGroup = qobject_cast<QGroupBox*>(pEdit->parentWidget());
            QVERIFY(pGroup);
            QCOMPARE(pGroup->title(), QString(field.pszGroup));
            bool bLabelled = false;
            for (QLabel* pLabel : pGroup->findChildren<QLabel*>())
                bLabelled |= pLabel->buddy() == pEdit && pLabel->text() == field.strLabel;
            QVERIFY2(bLabelled, field.pszEdit);
        }
    }

    void coefDialogReturnsTheEditedValues()
    {
        CHistoryCoefDialog dialog;
        dialog.SetValues(100, -100, 20, 100, -100, 20);
        dialog.show();
        SetText(Edit(dialog, "editRealTimeMax"), "500");
        SetText(Edit(dialog, "editRealTimeMin"), "-7");
        SetText(Edit(dialog, "editRealTimeDivisions"), "1");
        SetText(Edit(dialog, "editHistoryMax"), "30");
        // Equal maximum and minimum are not compared, so they pass.
        SetText(Edit(dialog, "editHistoryMin"), "30");
        SetText(Edit(dialog, "editHistoryDivisions"), "100");
        CMessageBoxCatcher catcher;
        QTest::mouseClick(Button(dialog, "确定"), Qt::LeftButton);
        QCOMPARE(catcher.m_nCount, 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        const Six expected{{500, -7, 1, 30, 30, 100}};
        QCOMPARE(Dump(ValuesOf(dialog)), Dump(expected));
    }

    void coefDialogRefusesBadDivisions_data()
    {
        QTest::addColumn<QString>("strEdit");
        QTest::addColumn<QString>("strText");
        QTest::addColumn<QString>("strMessage");
        const QString strRange = "请输入一个介于 1 和 100 之间的整数。";
        QTest::newRow("real-time 0") << "editRealTimeDivisions"
                                     << "0" << strRange;
        QTest::newRow("real-time 101") << "editRealTimeDivisions"
                                       << "101" << strRange;
        QTest::newRow("history 0") << "editHistoryDivisions"
                                   << "0" << strRange;
        QTest::newRow("history 101") << "editHistoryDivisions"
                                     << "101" << strRange;
        QTest::newRow("history -1") << "editHistoryDivisions"
                                    << "-1" << strRange;
        QTest::newRow("not a number") << "editRealTimeMax"
                                      << "12a"
                                      << "请输入一个整数。";
        QTest::newRow("empty") << "editHistoryMin"
                               << ""
                               << "请输入一个整数。";
        QTest::newRow("too large") << "editRealTimeMin"
                                   << "99999999999"
                                   << "请输入一个整数。";
    }

    void coefDialogRefusesBadDivisions()
    {
        QFETCH(QString, strEdit);
        QFETCH(QString, strText);
        QFETCH(QString, strMessage);
        CHistoryCoefDialog dialog;
        dialog.SetValues(1, 2, 3, 4, 5, 6);
        dialog.show();
        // Everything else changed, so a partial take would show.
        for (const char* pszName :
             {"editRealTimeMax", "editRealTimeMin", "editHistoryMax", "editHistoryMin"})
            SetText(Edit(dialog, pszName), "50");
        QLineEdit* pEdit = Edit(dialog, qPrintable(strEdit));
        SetText(pEdit, strText);

        CMessageBoxCatcher catcher;
        QTest::mouseClick(Button(dialog, "确定"), Qt::LeftButton);
        QCOMPARE(catcher.m_nCount, 1);
        QCOMPARE(catcher.m_strText, strMessage);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget(), pEdit);
        const Six unchanged{{1, 2, 3, 4, 5, 6}};
        QCOMPARE(Dump(ValuesOf(dialog)), Dump(unchanged));

        // Mending the field lets the same dialog close with every value.
        SetText(pEdit, "9");
        QTest::mouseClick(Button(dialog, "确定"), Qt::LeftButton);
        QCOMPARE(catcher.m_nCount, 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(ValuesOf(dialog).n[0], strEdit == "editRealTimeMax" ? 9 : 50);
        QCOMPARE(ValuesOf(dialog).n[5], strEdit == "editHistoryDivisions" ? 9 : 6);
    }

    void coefDialogReportsHistoryDivisionsFirst()
    {
        CHistoryCoefDialog dialog;
        dialog.show();
        SetText(Edit(dialog, "editRealTimeDivisions"), "0");
        SetText(Edit(dialog, "editRealTimeMax"), "x");
        SetText(Edit(dialog, "editHistoryDivisions"), "500");
        CMessageBoxCatcher catcher;
        QTest::mouseClick(Button(dialog, "确定"), Qt::LeftButton);
        QCOMPARE(catcher.m_nCount, 1);
        QCOMPARE(dialog.focusWidget(), Edit(dialog, "editHistoryDivisions"));

        SetText(Edit(dialog, "editHistoryDivisions"), "5");
        QTest::mouseClick(Button(dialog, "确定"), Qt::LeftButton);
        QCOMPARE(catcher.m_nCount, 2);
        QCOMPARE(dialog.focusWidget(), Edit(dialog, "editRealTimeDivisions"));
    }

    void coefDialogCancelKeepsTheRecord()
    {
        CHistoryCoefDialog dialog;
        dialog.SetValues(1, 2, 3, 4, 5, 6);
        dialog.show();
        SetText(Edit(dialog, "editHistoryMax"), "77");
        QTest::mouseClick(Button(dialog, "取消"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(ValuesOf(dialog).n[3], 4);
        dialog.show();
        QCOMPARE(Edit(dialog, "editHistoryMax")->text(), QString("4"));
    }

    void statisticsRedrawOncePerTick()
    {
        QWidget plot;
        CFlyDialog fly(&plot);
        plot.show();
        QCOMPARE(fly.parentWidget(), &plot);
        QStringList labels;
        for (const char* pszName : {"labelCurrent", "labelMax", "labelMin", "labelPeak"})
            labels << fly.findChild<QLabel*>(pszName)->text();
        QCOMPARE(labels, QStringList({"当前值:", "最大值:", "最小值:", "峰峰值:"}));

        fly.OnTimer();
        fly.UpdateStatistics(0, 5.0f);
        fly.UpdateStatistics(0, 3.0f);
        fly.UpdateStatistics(0, 9.0f);
        QCOMPARE(Texts(fly), QStringList({"5.0", "5.0", "5.0", "0.0"}));
        QCOMPARE(fly.Current(), 9.0f);

        fly.OnTimer();
        fly.UpdateStatistics(0, 4.0f);
        QCOMPARE(Texts(fly), QStringList({"4.0", "9.0", "3.0", "6.0"}));

        // Without a tick the texts stay, whatever arrives.
        fly.UpdateStatistics(0, -20.5f);
        QCOMPARE(Texts(fly), QStringList({"4.0", "9.0", "3.0", "6.0"}));
        fly.OnTimer();
        fly.UpdateStatistics(0, 1.0f);
        QCOMPARE(Texts(fly), QStringList({"1.0", "9.0", "-20.5", "29.5"}));
    }

    void statisticsKeepEachCurveApart()
    {
        QWidget plot;
        CFlyDialog fly(&plot);
        fly.OnTimer();
        fly.UpdateStatistics(0, 100.0f);
        fly.OnTimer();
        fly.UpdateStatistics(1, -7.0f);
        QCOMPARE(Texts(fly), QStringList({"-7.0", "-7.0", "-7.0", "0.0"}));
        fly.OnTimer();
        fly.UpdateStatistics(2, 0.5f);
        QCOMPARE(Texts(fly), QStringList({"0.5", "0.5", "0.5", "0.0"}));
        fly.OnTimer();
        fly.UpdateStatistics(0, 90.0f);
        QCOMPARE(Texts(fly), QStringList({"90.0", "100.0", "90.0", "10.0"}));
    }

    void statisticsIgnoreOtherIndices()
    {
        QWidget plot;
        CFlyDialog fly(&plot);
        fly.OnTimer();
        fly.UpdateStatistics(0, 2.0f);
        fly.OnTimer();
        fly.UpdateStatistics(3, 42.0f);
        fly.UpdateStatistics(-1, 43.0f);
        QCOMPARE(Texts(fly), QStringList({"2.0", "2.0", "2.0", "0.0"}));
        QCOMPARE(fly.Current(), 43.0f);
        // The tick was not used up, and the stray values are in no extreme.
        fly.UpdateStatistics(0, 1.0f);
        QCOMPARE(Texts(fly), QStringList({"1.0", "2.0", "1.0", "1.0"}));
    }

    void statisticsFromAWorkerReachTheLabels()
    {
        QWidget plot;
        CFlyDialog fly(&plot);
        plot.show();
        std::thread first([&fly] {
            for (float f : {5.0f, 3.0f, 9.0f})
                fly.UpdateStatistics(2, f);
        });
        first.join();
        fly.OnTimer();
        std::thread second([&fly] { fly.UpdateStatistics(2, 4.0f); });
        second.join();
        QTRY_COMPARE_WITH_TIMEOUT(Texts(fly), QStringList({"4.0", "9.0", "3.0", "6.0"}), 10000);
    }

    void statisticsTimerRunsWhileShown()
    {
        QWidget plot;
        CFlyDialog fly(&plot);
        QVERIFY(!fly.IsTicking());
        fly.UpdateStatistics(0, 1.0f);
        QCOMPARE(Current(fly), QString("1.0"));
        plot.show();
        fly.show();
        QVERIFY(fly.IsTicking());
        // Feeding keeps failing to redraw until the window's own tick comes.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&fly] {
                fly.UpdateStatistics(0, 7.0f);
                return Current(fly) == "7.0";
            }(),
            10000);
        fly.hide();
        QVERIFY(!fly.IsTicking());
    }

    // The statistics window is a child of the page above the plot: a click on
    // the plot leaves it in sight, it hides with the page, and it stays right
    // of the value labels where it is put and wherever it is dragged.
    void statisticsStayAboveThePlotBesideItsLabels()
    {
        QWidget page;
        page.resize(600, 400);
        C2dPlot plot;
        plot.Create(page);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        CFlyDialog& fly = *plot.Statistics();
        QVERIFY(fly.isVisible());
        QTest::mouseClick(&plot, Qt::LeftButton, {}, plot.rect().center());
        QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(fly.parentWidget(), &page);
        QVERIFY(!fly.isWindow());
        QVERIFY(fly.isVisible());
        QVERIFY(fly.isAncestorOf(page.childAt(fly.geometry().center())));
        QCOMPARE(fly.x(), plot.PlotRect().left() + 2);

        QWidget* pBody = fly.findChild<QLabel*>("textMax");
        const QPoint ptStart = pBody->rect().center();
        auto send = [pBody](QEvent::Type type, QPoint pt, Qt::MouseButton button,
                            Qt::MouseButtons buttons) {
            QMouseEvent event(type, pt, pBody->mapToGlobal(pt), button, buttons, Qt::NoModifier);
            QApplication::sendEvent(pBody, &event);
        };
        const QPoint ptOrigin = fly.pos();
        send(QEvent::MouseButtonPress, ptStart, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, ptStart + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(fly.pos(), ptOrigin + QPoint(30, 20));
        // Dragged left past the labels' edge: it stops there.
        send(QEvent::MouseMove, ptStart + QPoint(-60, 5), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(fly.pos(), QPoint(ptOrigin.x(), ptOrigin.y() + 25));
        send(QEvent::MouseButtonRelease, ptStart, Qt::LeftButton, Qt::NoButton);
        send(QEvent::MouseMove, ptStart + QPoint(50, 50), Qt::NoButton, Qt::NoButton);
        QCOMPARE(fly.pos(), QPoint(ptOrigin.x(), ptOrigin.y() + 25));
        // The right button does not drag.
        send(QEvent::MouseButtonPress, ptStart, Qt::RightButton, Qt::RightButton);
        send(QEvent::MouseMove, ptStart + QPoint(30, 30), Qt::NoButton, Qt::RightButton);
        QCOMPARE(fly.pos(), QPoint(ptOrigin.x(), ptOrigin.y() + 25));

        page.hide();
        QVERIFY(!fly.isVisible());
    }
};

QTEST_MAIN(CCurveDialogsTest)
#include "CurveDialogsTest.moc"
