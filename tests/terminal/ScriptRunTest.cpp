#include "RawPty.h"
#include "TestPageContext.h"

#include "terminal/ComAssistDialog.h"
#include "terminal/ScriptErrorReport.h"
#include "terminal/ScriptRun.h"
#include "terminal/SendArea.h"

#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Language = CScriptRun::Language;

// A script run on the terminal's port layer over the simulator.
struct RunFixture
{
    RunFixture() { context.OpenBusPort(); }

    QList<QByteArray> Frames() { return context.Simulator().Bus().FrameLog(); }
    // Runs strText to its end; the outcome and the report of the end.
    CScriptRun::Outcome Run(const QString& strText, Language language = Language::JavaScript)
    {
        QSignalSpy spy(&run, &CScriptRun::ScriptEnded);
        if (!run.RunScript(strText, language) || !spy.wait(20000))
            return CScriptRun::Outcome::Stopped;
        strReport = spy.first().at(1).toString();
        return spy.first().at(0).value<CScriptRun::Outcome>();
    }

    CTestPageContext context;
    CTerminalPort port{&context.BusLink()};
    CScriptRun run{&port};
    QString strReport;
};

// Sends a marker frame after whatever was queued so far and waits until it is
// the newest frame the simulator saw: a script byte written after the marker
// would follow it.
bool Mark(CTestPageContext& context, const QByteArray& marker)
{
    context.BusLink().SendBytes(marker);
    return QTest::qWaitFor(
        [&] {
            const QList<QByteArray> arrFrames = context.Simulator().Bus().FrameLog();
            return !arrFrames.isEmpty() && arrFrames.last() == marker;
        },
        20000);
}

// Marks once a stop has returned and again once the run has ended: nothing
// came between the two marks.
bool NothingAfterStop(CTestPageContext& context, const std::function<bool()>& ended)
{
    if (!Mark(context, "S09;ADR?;") || !QTest::qWaitFor(ended, 20000) ||
        !Mark(context, "S08;ADR?;"))
        return false;
    const QList<QByteArray> arrFrames = context.Simulator().Bus().FrameLog();
    return arrFrames.at(arrFrames.size() - 2) == "S09;ADR?;";
}

} // namespace

// Script runs: the macros on the wire, errors, stops, and the page around them.
class ScriptRunTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_cwd.isValid());
        QDir::setCurrent(m_cwd.path());
    }

    void macrosSendTheirFrames_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("frames");
        const int js = int(Language::JavaScript);
        const int vbs = int(Language::VBScript);
        QStringList arrAll;
        for (int i = 0; i <= 31; ++i)
            arrAll << QString::asprintf("S%.2d;adr?;", i);
        QTest::newRow("js Send") << js << "Send('S01;ADR?;'); ScriptControlMacro.Send('S03;ADR?;');"
                                 << QStringList{"S01;ADR?;", "S03;ADR?;"};
        QTest::newRow("js BusScan 0") << js << "BusScan(0)" << QStringList{"S00;adr?;"};
        QTest::newRow("js BusScan 100") << js << "BusScan(100)" << arrAll;
        QTest::newRow("js BusScan -1") << js << "BusScan(-1); Delay(-5)" << QStringList();
        QTest::newRow("js syntax error sends nothing")
            << js << "Send('S01;ADR?;');\n\nvar x = ;" << QStringList();
        QTest::newRow("vbs Send") << vbs
                                  << "Send \"S01;ADR?;\"\nok = ScriptControlMacro.Send(\"S03;"
                                     "ADR?;\")\nIf ok Then Call Send(\"S17;ADR?;\")"
                                  << QStringList{"S01;ADR?;", "S03;ADR?;", "S17;ADR?;"};
        QTest::newRow("vbs BusScan 0") << vbs << "busscan 0" << QStringList{"S00;adr?;"};
        QTest::newRow("vbs BusScan 100") << vbs << "BusScan 100" << arrAll;
        QTest::newRow("vbs BusScan -1") << vbs << "BusScan -1 : Delay -5" << QStringList();
        QTest::newRow("vbs syntax error sends nothing")
            << vbs << "Send \"S01;ADR?;\"\nIf 1 Then\nSend \"S03;ADR?;\"" << QStringList();
    }
    void macrosSendTheirFrames()
    {
        QFETCH(int, language);
        QFETCH(QString, script);
        QFETCH(QStringList, frames);
        RunFixture f;
        f.Run(script, Language(language));
        QVERIFY(Mark(f.context, "S09;ADR?;"));
        QStringList arrSeen;
        for (const QByteArray& frame : f.Frames())
            arrSeen << QString::fromLatin1(frame);
        QCOMPARE(arrSeen, frames + QStringList{"S09;ADR?;"});
    }

    // Bytes exactly as written, on a bare pseudo-terminal.
    void macrosWriteExactBytes()
    {
        CRawPty pty;
        QVERIFY(pty.IsOpen());
        RunFixture f;
        const QString strPath = pty.SlavePath();
        f.context.BusLink().SetDeviceResolver([strPath](int) { return strPath; });
        QVERIFY(f.context.OpenBusPort());
        QCOMPARE(f.Run(QString::fromUtf8("if (!SendHex('0A 1b FF')) throw 1;"
                                         "if (!SendHex('41 4G 42')) throw 2;"
                                         "if (!Send('中')) throw 3; Send('');")),
                 CScriptRun::Outcome::Completed);
        QByteArray written;
        const QByteArray expected = QByteArray::fromHex("0A1BFF41D6D0");
        QTRY_COMPARE_WITH_TIMEOUT((written += pty.ReadAvailable()), expected, 20000);
        QCOMPARE(f.port.SentBytes(), 6u);
        QCOMPARE(f.Run(QString::fromUtf8("If Not SendHex(\"0A 1b FF\") Then Err13\n"
                                         "Send \"中\""),
                       Language::VBScript),
                 CScriptRun::Outcome::Completed);
        written.clear();
        QTRY_COMPARE_WITH_TIMEOUT((written += pty.ReadAvailable()),
                                  QByteArray::fromHex("0A1BFFD6D0"), 20000);

        // Without a page the writes return false.
        CScriptRun noPage(nullptr);
        QSignalSpy spy(&noPage, &CScriptRun::ScriptEnded);
        noPage.RunScript(QStringLiteral("if (Send('x') !== false || SendHex('41')) throw 1;"),
                         Language::JavaScript);
        QVERIFY(spy.wait(20000));
        QCOMPARE(spy.first().at(0).value<CScriptRun::Outcome>(), CScriptRun::Outcome::Completed);
    }

    void errorsReportTheirLine_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("report");
        const int js = int(Language::JavaScript);
        const int vbs = int(Language::VBScript);
        QTest::newRow("js syntax, line 3")
            << js << "Send('a');\r\n\r\nvar x = ;"
            << "Error: 1002\nSource: SyntaxError\nDescription: Expected token `numeric "
               "literal'\nLine: 3\nColumn: 9\nCode: var x = ;";
        QTest::newRow("js run time, line 5")
            << js << "Send('S01;ADR?;');\n\n\n\n  foo();"
            << "Error: 1\nSource: ReferenceError\nDescription: foo is not defined\nLine: "
               "5\nColumn: 0\nCode:   foo();";
        QTest::newRow("js thrown value") << js << "\r\rthrow 5;"
                                         << "Error: 1\nSource: Tolvex测试软件\nDescription: "
                                            "5\nLine: 3\nColumn: 0\nCode: throw 5;";
        QTest::newRow("vbs syntax, line 3")
            << vbs << "Send \"a\"\r\n\r\nx = )"
            << "Error: 1002\nSource: VBScript compilation error\nDescription: Expected "
               "expression\nLine: 3\nColumn: 5\nCode: x = )";
        QTest::newRow("vbs run time, line 5")
            << vbs << "Send \"S01;ADR?;\"\nx = 1 + _\n  2\n\n  y = x \\ 0"
            << "Error: 11\nSource: VBScript runtime error\nDescription: Division by "
               "zero\nLine: 5\nColumn: 3\nCode:   y = x \\ 0";
    }
    void errorsReportTheirLine()
    {
        QFETCH(int, language);
        QFETCH(QString, script);
        QFETCH(QString, report);
        RunFixture f;
        QCOMPARE(f.Run(script, Language(language)), CScriptRun::Outcome::Failed);
        QCOMPARE(f.strReport, report);
    }

    void reportFormat()
    {
        ScriptError error;
        error.nNumber = 13;
        error.strDescription = QStringLiteral("Type mismatch");
        QCOMPARE(
            ReportScriptError(error),
            QString::fromUtf8("Error: 13\nSource: Tolvex测试软件\nDescription: Type mismatch"));
        error.nLine = 2;
        error.nColumn = 1;
        QCOMPARE(ReportScriptError(error), QString::fromUtf8("Error: 13\nSource: Tolvex测试软件\n"
                                                             "Description: Type mismatch\n"
                                                             "Line: 2\nColumn: 1"));
        QCOMPARE(ScriptSourceLine(QStringLiteral("a\r\nb\rc\nd"), 3), QStringLiteral("c"));
        QCOMPARE(ScriptSourceLine(QStringLiteral("a\r\nb\rc\nd"), 4), QStringLiteral("d"));
        QCOMPARE(ScriptSourceLine(QStringLiteral("a"), 2), QString());
    }

    void scriptFilesDecode()
    {
        QCOMPARE(CScriptRun::DecodeScriptFile("\xEF\xBB\xBFSend('\xE4\xB8\xAD')"),
                 QString::fromUtf8("Send('中')"));
        QCOMPARE(CScriptRun::DecodeScriptFile("Send('\xD6\xD0')"), QString::fromUtf8("Send('中')"));
    }

    // Endless loops and long delays end at a stop: no error, nothing after it.
    void stopEndsTheRun_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("script");
        const int js = int(Language::JavaScript);
        const int vbs = int(Language::VBScript);
        QTest::newRow("js endless loop") << js << "for (;;) {}";
        QTest::newRow("js sending loop") << js << "for (;;) Send('S01;ADR?;');";
        QTest::newRow("js Delay 600000")
            << js << "Send('S01;ADR?;'); Delay(600000); Send('S03;ADR?;');";
        QTest::newRow("vbs endless loop") << vbs << "Do\nLoop";
        QTest::newRow("vbs sending loop") << vbs << "While True : Send \"S01;ADR?;\" : Wend";
        QTest::newRow("vbs Delay 600000")
            << vbs << "Send \"S01;ADR?;\"\nDelay 600000\nSend \"S03;ADR?;\"";
    }
    void stopEndsTheRun()
    {
        QFETCH(int, language);
        QFETCH(QString, script);
        RunFixture f;
        QSignalSpy spy(&f.run, &CScriptRun::ScriptEnded);
        QVERIFY(f.run.RunScript(script, Language(language)));
        QVERIFY(!f.run.RunScript(script, Language(language))); // one at a time
        QTRY_VERIFY_WITH_TIMEOUT(!f.Frames().isEmpty() || !script.contains("Send"), 20000);
        f.run.StopScript();
        QVERIFY(NothingAfterStop(f.context, [&] { return !spy.isEmpty(); }));
        QCOMPARE(spy.first().at(0).value<CScriptRun::Outcome>(), CScriptRun::Outcome::Stopped);
        QVERIFY(!f.run.IsRunning());
        // The next run goes again.
        QCOMPARE(f.Run(QStringLiteral("Send('S17;ADR?;')")), CScriptRun::Outcome::Completed);
    }

    // The page: hidden controls, the button around a run, stops by hiding and closing.
    void pageRunsScripts()
    {
        QTemporaryDir dir;
        CTestPageContext context;
        CComAssistDialog page(context);
        page.SetWorkingDirectory(dir.path());
        auto* pButton = page.findChild<QPushButton*>(QStringLiteral("buttonRunScript"));
        auto* pVbs = page.findChild<QRadioButton*>(QStringLiteral("radioVBScript"));
        auto* pSend = page.findChild<CSendArea*>(QStringLiteral("editSend"));
        page.show();
        QVERIFY(!pButton->isVisible());
        page.SetScriptControlsShown(true);
        QVERIFY(pButton->isVisible());
        page.SetScriptControlsShown(false);

        pSend->SetSendText(QStringLiteral("Send('S01;ADR?;');\nDelay(600000);"));
        pButton->click();
        QVERIFY(page.ScriptRun().IsRunning());
        QVERIFY(!pButton->isEnabled());
        pButton->click(); // starts nothing
        pVbs->click();    // changes nothing of this run
        QTRY_COMPARE_WITH_TIMEOUT(context.Simulator().Bus().FrameLog().size(), 1, 20000);
        page.hide();
        QVERIFY(NothingAfterStop(context, [&] { return pButton->isEnabled(); }));
        QVERIFY(context.Messages().isEmpty());

        // An error shows its box with the line; the language is read at the start.
        page.show();
        page.findChild<QRadioButton*>(QStringLiteral("radioJavaScript"))->click();
        pSend->SetSendText(QStringLiteral("Send('S01;ADR?;');\n\nvar x = ;"));
        pButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(context.Messages().size(), 1, 20000);
        QVERIFY(context.Messages().first().contains(QLatin1String("\nLine: 3\n")));
        QVERIFY(pButton->isEnabled());

        // Closing the window stops and joins the run.
        pSend->SetSendText(QStringLiteral("for (;;) Send('S03;ADR?;');"));
        pButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(context.Simulator().Bus().FrameLog().contains("S03;ADR?;"), 20000);
        page.StopWorker();
        QVERIFY(NothingAfterStop(context, [] { return true; }));
        QCOMPARE(context.Messages().size(), 1);
    }

private:
    QTemporaryDir m_cwd;
};

QTEST_MAIN(ScriptRunTest)
#include "ScriptRunTest.moc"
