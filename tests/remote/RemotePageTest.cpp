#include "TestBroker.h"
#include "TestPageContext.h"

#include "remote/RemoteDialog.h"
#include "remote/RemoteMonitor.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

class CRemotePageTest : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        QTemporaryDir dir;
        QString strSettings = dir.filePath(QStringLiteral("tolvex.conf"));
        CTestPageContext context;
        CRemoteMonitor monitor{context.BusLink()};
        CRemoteDialog page{context, monitor, strSettings};

        template <typename T> T* Child(const char* pszName)
        {
            return page.findChild<T*>(QLatin1String(pszName));
        }
        void Type(const char* pszEdit, const QString& strText)
        {
            Child<QLineEdit>(pszEdit)->setText(strText);
        }
        void Click() { QTest::mouseClick(Child<QPushButton>("buttonConnect"), Qt::LeftButton); }
        QString State() { return Child<QLabel>("labelState")->text(); }
    };

private Q_SLOTS:
    void badInputNeitherConnectsNorStores_data()
    {
        QTest::addColumn<QString>("strEdit");
        QTest::addColumn<QString>("strText");
        QTest::addColumn<bool>("bTls");
        QTest::newRow("no host") << "editAddress"
                                 << "" << false;
        QTest::newRow("port 0") << "editPort"
                                << "0" << false;
        QTest::newRow("port 65536") << "editPort"
                                    << "65536" << false;
        QTest::newRow("port text") << "editPort"
                                   << "mqtt" << false;
        QTest::newRow("prefix +") << "editPrefix"
                                  << "plant/+/a" << false;
        QTest::newRow("prefix #") << "editPrefix"
                                  << "plant/#" << false;
        QTest::newRow("no CA file") << "editCaFile"
                                    << "/nonexistent/ca.pem" << true;
    }

    void badInputNeitherConnectsNorStores()
    {
        QFETCH(QString, strEdit);
        QFETCH(QString, strText);
        QFETCH(bool, bTls);
        Fixture f;
        f.Type("editAddress", QStringLiteral("127.0.0.1"));
        f.Child<QCheckBox>("checkTls")->setChecked(bTls);
        f.Type(qPrintable(strEdit), strText);
        f.Click();
        QVERIFY(!f.Child<QLabel>("labelProblem")->text().isEmpty());
        QVERIFY(!f.monitor.IsRunning());
        QVERIFY(!QFile::exists(f.strSettings));
        QCOMPARE(f.Child<QPushButton>("buttonConnect")->text(), QStringLiteral("连接服务器"));
    }

    // The settings are stored when connecting; the password only with
    // "保存密码", and then in a file its owner alone may read.
    void storesSettingsAndPasswordOnlyWhenAsked()
    {
        for (const bool bSave : {false, true}) {
            Fixture f;
            f.Type("editAddress", QStringLiteral("127.0.0.1"));
            f.Type("editPort", QStringLiteral("1"));
            f.Type("editPrefix", QStringLiteral("line4/bench2"));
            f.Type("editUser", QStringLiteral("bench"));
            f.Type("editPassword", QStringLiteral("secret"));
            f.Child<QCheckBox>("checkSavePassword")->setChecked(bSave);
            f.Click();
            QVERIFY(f.monitor.IsRunning());
            f.monitor.Stop(0);
            const MqttSettings stored = MqttSettings::Load(f.strSettings);
            QCOMPARE(stored.m_strHost, QStringLiteral("127.0.0.1"));
            QCOMPARE(stored.m_nPort, 1);
            QCOMPARE(stored.m_strPrefix, QStringLiteral("line4/bench2"));
            QCOMPARE(stored.m_strUser, QStringLiteral("bench"));
            QCOMPARE(stored.m_strPassword, bSave ? QStringLiteral("secret") : QString());
            QCOMPARE(QSettings(f.strSettings, QSettings::IniFormat)
                         .contains(QStringLiteral("Remote/Password")),
                     bSave);
            if (bSave)
                QCOMPARE(QFile::permissions(f.strSettings),
                         QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
            CRemoteDialog again(f.context, f.monitor, f.strSettings);
            QCOMPARE(again.Settings().m_strPrefix, QStringLiteral("line4/bench2"));
            QCOMPARE(again.Settings().m_strPassword, stored.m_strPassword);
        }
    }

    // The button and the state text follow the connection.
    void showsTheConnectionState()
    {
        if (CTestBroker::Program().isEmpty())
            QSKIP("the mosquitto broker is not installed; this test needs one on loopback");
        CTestBroker broker;
        QVERIFY(broker.Start());
        Fixture f;
        QCOMPARE(f.State(), QStringLiteral("未连接"));
        f.Type("editAddress", QStringLiteral("127.0.0.1"));
        f.Type("editPort", QString::number(broker.Port()));
        f.Click();
        QTRY_COMPARE_WITH_TIMEOUT(f.State(), QStringLiteral("已连接"), 20000);
        QCOMPARE(f.Child<QPushButton>("buttonConnect")->text(), QStringLiteral("断开连接"));
        broker.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(f.State().startsWith(QStringLiteral("重新连接中 (第 ")), 20000);
        QVERIFY(!f.Child<QLabel>("labelLastError")->text().isEmpty());
        f.Click();
        QTRY_COMPARE_WITH_TIMEOUT(f.State(), QStringLiteral("未连接"), 20000);
        QCOMPARE(f.Child<QPushButton>("buttonConnect")->text(), QStringLiteral("连接服务器"));
    }
};

QTEST_MAIN(CRemotePageTest)
#include "RemotePageTest.moc"
