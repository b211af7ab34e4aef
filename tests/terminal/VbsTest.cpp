#include "terminal/vbs/ScriptText.h"
#include "terminal/vbs/VbsInterpreter.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
// The macro object's shape: records every call; a call may set the stop word.
class CRecordingMacro : public QObject
{
    Q_OBJECT
public:
    QStringList m_arrCalls;
    std::atomic<bool> m_bStop{false};
    int m_nStopAfter = -1;

    Q_INVOKABLE bool Send(const QString& strText) { return Record("Send " + strText); }
    Q_INVOKABLE bool SendHex(const QString& strText) { return Record("SendHex " + strText); }
    Q_INVOKABLE void Delay(int nMilliseconds) { Record("Delay " + QString::number(nMilliseconds)); }
    Q_INVOKABLE void BusScan(int nLast) { Record("BusScan " + QString::number(nLast)); }

private:
    bool Record(const QString& strCall)
    {
        m_arrCalls.append(strCall);
        if (m_nStopAfter >= 0 && m_arrCalls.size() >= m_nStopAfter)
            m_bStop = true;
        return true;
    }
};

struct Outcome
{
    std::optional<ScriptError> error; // compile or run-time
    QStringList arrCalls;
};

Outcome RunScript(const QString& strText, int nStopAfter = -1)
{
    CVbsInterpreter interpreter;
    CRecordingMacro macro;
    macro.m_nStopAfter = nStopAfter;
    Outcome outcome;
    outcome.error = interpreter.Compile(strText);
    if (!outcome.error)
        outcome.error = interpreter.Run(&macro, macro.m_bStop);
    outcome.arrCalls = macro.m_arrCalls;
    return outcome;
}

QString Describe(const std::optional<ScriptError>& error)
{
    if (!error)
        return QStringLiteral("ok");
    return QStringLiteral("%1 %2 @%3:%4 [%5]")
        .arg(error->nNumber)
        .arg(error->strDescription)
        .arg(error->nLine)
        .arg(error->nColumn)
        .arg(error->strCode);
}
} // namespace

class VbsTest : public QObject
{
    Q_OBJECT
private slots:
    void expressions_data();
    void expressions();
    void programs_data();
    void programs();
    void errors_data();
    void errors();
    void stopAndMissingMacro();
    void malformedScriptsFailCleanly();
    void budgetsEndARun();
    void scriptFilesDecode();
};

void VbsTest::expressions_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");
    const QList<QPair<const char*, const char*>> rows = {
        // precedence
        {"1 + 2 * 3", "7"},
        {"(1 + 2) * 3", "9"},
        {"2 ^ 3 ^ 2", "64"},
        {"-2 ^ 2", "-4"},
        {"2 ^ -1", "0.5"},
        {"7 \\ 2 * 2", "1"},
        {"7 Mod 4 \\ 2", "1"},
        {"10 - 2 - 3", "5"},
        {"1 + 2 & 3 + 4", "37"},
        {"Not 1 = 2", "True"},
        {"1 < 2 And 3 > 4", "False"},
        {"True Or False And False", "True"},
        {"True Xor True Or True", "False"},
        // numbers and text
        {"7 / 7", "1"},
        {"1 / 3", "0.333333333333333"},
        {"2147483647 + 1", "2147483648"},
        {"-2147483647 - 2", "-2147483649"},
        {"65536 * 65536", "4294967296"},
        {"1E20", "1E+20"},
        {"0.1 + 0.2", "0.3"},
        {"&HFFFF", "65535"},
        {"&HFFFFFFFF", "-1"},
        {"2147483648", "2147483648"},
        {"1.5E-7", "1.5E-07"},
        {"\"3\" + 4", "7"},
        {"\"3\" + \"4\"", "34"},
        {"\"3\" & 4", "34"},
        {"Empty + 1", "1"},
        {"True + 1", "0"},
        {"\"a\" & Empty & True", "aTrue"},
        {"-Empty", "0"},
        {"2.5 \\ 1", "2"},
        {"3.5 \\ 1", "4"},
        {"-7 Mod 3", "-1"},
        // comparisons
        {"10 > 9", "True"},
        {"\"10\" > \"9\"", "False"},
        {"\"10\" > 9", "True"},
        {"\"abc\" < \"abd\"", "True"},
        {"\"a\" = \"A\"", "False"},
        {"Empty = 0", "True"},
        {"Empty = \"\"", "True"},
        {"1 = True", "False"},
        {"-1 = True", "True"},
        {"\"x\" > 5", "True"},
        // bitwise on numbers
        {"12 And 10", "8"},
        {"12 Or 3", "15"},
        {"12 Xor 10", "6"},
        {"Not 0", "-1"},
        {"Not True", "False"},
        {"True And 3", "3"},
        // built-ins
        {"Len(\"abc\") & Len(12345)", "35"},
        {"Left(\"abcdef\", 2) & Right(\"abcdef\", 2)", "abef"},
        {"Mid(\"abcdef\", 2, 3) & Mid(\"abcdef\", 5)", "bcdef"},
        {"Mid(\"abc\", 9)", ""},
        {"InStr(\"abcabc\", \"c\") & InStr(4, \"abcabc\", \"c\") & InStr(\"abc\", \"x\")", "360"},
        {"UCase(\"aB\") & LCase(\"aB\") & \"|\" & Trim(\"  x y  \") & \"|\"", "ABab|x y|"},
        {"Chr(65) & Asc(\"A\") & Asc(\"中\")", "A6554992"},
        {"Chr(54992)", "中"},
        {"Hex(255) & \" \" & Hex(-1)", "FF FFFFFFFF"},
        {"CStr(1.5) & CInt(\"2.5\") & CInt(3.5)", "1.524"},
        {"CLng(-2.5) & \" \" & CDbl(\"1e3\")", "-2 1000"},
        {"Int(-1.5) & Int(1.5)", "-21"},
        {"Abs(-3) & Abs(-2147483648)", "32147483648"},
        {"IsNumeric(\"1.5\") & IsNumeric(\"x\") & IsNumeric(\"\") & IsNumeric(Empty)",
         "TrueFalseFalseTrue"},
        {"vbCrLf = Chr(13) & Chr(10) And Len(vbTab & vbCr & vbLf) = 3", "True"},
        {"\"say \"\"hi\"\"\"", "say \"hi\""},
    };
    for (const auto& [pszExpression, pszExpected] : rows)
        QTest::newRow(pszExpression)
            << QString::fromUtf8(pszExpression) << QString::fromUtf8(pszExpected);
}

void VbsTest::expressions()
{
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    const Outcome outcome = RunScript("Send " + expression);
    QCOMPARE(Describe(outcome.error), QStringLiteral("ok"));
    QCOMPARE(outcome.arrCalls, QStringList{"Send " + expected});
}

void VbsTest::programs_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("negative step, counter after the loop")
        << "For i = 3 To 1 Step -1\nSend i\nNext\nSend \"after \" & i"
        << QStringList{"Send 3", "Send 2", "Send 1", "Send after 0"};
    QTest::newRow("bounds taken once, fractional step")
        << "n = 2\nFor i = 1 To n Step 0.5 : n = 10 : Send i : Next i"
        << QStringList{"Send 1", "Send 1.5", "Send 2"};
    QTest::newRow("nested exits")
        << "For i = 1 To 3\nDo\nIf i = 2 Then Exit For\nSend i : Exit Do\nLoop\nNext\n"
           "Do While True\nExit Do\nLoop\nSend \"i=\" & i"
        << QStringList{"Send 1", "Send i=2"};
    QTest::newRow("do forms") << "i = 0\nDo Until i = 2 : i = i + 1 : Loop\nDo : i = i + 1 : "
                                 "Loop While i < 5\nWhile i < 7 : i = i + 1 : Wend\nSend i"
                              << QStringList{"Send 7"};
    QTest::newRow("recursion, call before definition")
        << "Send Fact(10)\nCall Twice(\"x\")\nShow 1, 2\n"
           "Function Fact(ByVal n)\nIf n <= 1 Then Fact = 1 Else Fact = n * Fact(n - 1)\n"
           "End Function\nSub Twice(s) : Send s & s : End Sub\n"
           "Sub Show(a, b)\nIf a = 1 Then\nSend \"one\" & b\nExit Sub\nEnd If\nSend \"never\"\n"
           "End Sub"
        << QStringList{"Send 3628800", "Send xx", "Send one2"};
    QTest::newRow("parameters by value, locals, globals")
        << "g = 1\nx = 5\nBump x\nSend x & g\nSub Bump(x)\nx = x + 1 : g = g + 1\nDim y : "
           "y = 3\nEnd Sub"
        << QStringList{"Send 52"};
    QTest::newRow("if forms")
        << "x = 2\nIf x = 1 Then\nSend 1\nElseIf x = 2 Then\nSend 2\nElse\nSend 3\nEnd If\n"
           "If x = 1 Then Send \"a\" : Send \"b\" Else Send \"c\" : Send \"d\"\n"
           "If x Then Send \"e\""
        << QStringList{"Send 2", "Send c", "Send d", "Send e"};
    QTest::newRow("call forms, case-insensitive")
        << "SEND \"a\"\nsend(\"b\")\nCall Send(\"c\")\nScriptControlMacro.Send \"d\"\n"
           "ok = scriptcontrolmacro.sendhex(\"0A\")\nSend ok\nDelay 5 : BusScan 31\n"
           "Call ScriptControlMacro.Delay(\"7\")"
        << QStringList{"Send a",    "Send b",  "Send c",     "Send d", "SendHex 0A",
                       "Send True", "Delay 5", "BusScan 31", "Delay 7"};
    QTest::newRow("option explicit, const, continuation")
        << "Option Explicit\nDim a, b\nConst c = -5, t = \"x\"\na = _\n  c & t\nSend a"
        << QStringList{"Send -5x"};
    QTest::newRow("comments and separators")
        << "' comment\nRem another\nSend 1 ' trailing\n\n: : Send 2 : Rem tail"
        << QStringList{"Send 1", "Send 2"};
    QTest::newRow("step 0 ended by the stop word")
        << "For i = 1 To 2 Step 0\nSend i\nNext" << QStringList(10, "Send 1");
}

void VbsTest::programs()
{
    QFETCH(QString, script);
    QFETCH(QStringList, calls);
    const Outcome outcome = RunScript(script, 10);
    QCOMPARE(Describe(outcome.error), QStringLiteral("ok"));
    QCOMPARE(outcome.arrCalls, calls);
}

void VbsTest::errors_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("calls");
    QTest::newRow("syntax error on line 3") << "Send 1\nIf x Then Send 3\n  End Sub\nSend 4"
                                            << "1002 Expected statement @3:3 [  End Sub]" << 0;
    QTest::newRow("syntax error names line 3, column")
        << "Send 1\r\nSend 2\rx = (1 + \nSend 4"
        << "1002 Expected expression @3:10 [x = (1 + ]" << 0;
    QTest::newRow("run-time error on line 5 after a continued line")
        << "Send 1\nSend 2 + _\n 3\nSend 4\n  x = 1 / 0\nSend 6"
        << "11 Division by zero @5:3 [  x = 1 / 0]" << 3;
    QTest::newRow("error in a continued statement reports its first line")
        << "Send 1\nx = 1 + _\n \"a\""
        << "13 Type mismatch @2:1 [x = 1 + _]" << 1;
    QTest::newRow("option explicit at run time")
        << "Option Explicit\nDim a\nSend 1\nb = 2"
        << "500 Variable is undefined: 'b' @4:1 [b = 2]" << 1;
    QTest::newRow("undefined procedure") << "Foo 1"
                                         << "13 Type mismatch: 'Foo' @1:1 [Foo 1]" << 0;
    QTest::newRow("wrong argument count")
        << "Send 1, 2"
        << "450 Wrong number of arguments or invalid property assignment: 'Send' "
           "@1:1 [Send 1, 2]"
        << 0;
    QTest::newRow("mid of 0")
        << "Send Mid(\"a\", 0)"
        << "5 Invalid procedure call or argument: 'Mid' @1:1 [Send Mid(\"a\", "
           "0)]"
        << 0;
    QTest::newRow("CInt overflow") << "Send CInt(32768)"
                                   << "6 Overflow @1:1 [Send CInt(32768)]" << 0;
    QTest::newRow("runaway recursion") << "Sub R(n)\nR n + 1\nEnd Sub\nR 1"
                                       << "28 Out of stack space @2:1 [R n + 1]" << 0;
    QTest::newRow("call depth 256 allowed, 257 refused")
        << "Function D(n)\nIf n > 1 Then D = D(n - 1) + 1 Else D = 1\nEnd Function\n"
           "Send D(256)\nSend D(257)"
        << "28 Out of stack space @2:15 [If n > 1 Then D = D(n - 1) + 1 Else D = 1]" << 1;
    QTest::newRow("syntax error in a continued statement")
        << "Send 1\nSend 1 + _\n * 2"
        << "1002 Expected expression @2:1 [Send 1 + _]" << 0;
    QTest::newRow("parentheses around a sub's arguments")
        << "Send(1, 2)"
        << "1002 Cannot use parentheses when calling a Sub @1:7 [Send(1, 2)]" << 0;
    QTest::newRow("argument not convertible") << "Delay \"x\""
                                              << "13 Type mismatch @1:1 [Delay \"x\"]" << 0;
    QTest::newRow("string growth") << "s = \"x\"\nDo\ns = s & s\nLoop"
                                   << "14 Out of string space @3:1 [s = s & s]" << 0;
    QTest::newRow("condition not numeric") << "If \"a\" Then Send 1"
                                           << "13 Type mismatch @1:1 [If \"a\" Then Send 1]" << 0;
    QTest::newRow("byref") << "Sub A(ByRef x)\nEnd Sub"
                           << "1002 ByRef parameters are not supported @1:7 [Sub A(ByRef x)]" << 0;
    QTest::newRow("keyword outside the subset")
        << "Send 1\nSet x = 2"
        << "1002 'Set' is not supported @2:1 [Set x = 2]" << 0;
    QTest::newRow("exit for outside a for") << "Do\nExit For\nLoop"
                                            << "1002 Invalid 'exit' statement @2:6 [Exit For]" << 0;
    QTest::newRow("missing end if") << "If 1 Then\nSend 1\n"
                                    << "1002 Expected 'End If' @3:1 []" << 0;
    QTest::newRow("missing next") << "For i = 1 To 2\nSend 1\nLoop"
                                  << "1002 Expected 'Next' @3:1 [Loop]" << 0;
    QTest::newRow("unterminated string")
        << "Send 1\nSend \"abc\nSend 2"
        << "1002 Unterminated string constant @2:6 [Send \"abc]" << 0;
    QTest::newRow("assignment to a constant") << "Const k = 1\nk = 2"
                                              << "1002 Illegal assignment: 'k' @2:1 [k = 2]" << 0;
    QTest::newRow("binary bytes") << QString::fromLatin1("Send 1\n\x01\x02\xff")
                                  << "1002 Invalid character @2:1 [" +
                                         QString::fromLatin1("\x01\x02\xff]")
                                  << 0;
}

void VbsTest::errors()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    QFETCH(int, calls);
    const Outcome outcome = RunScript(script);
    QCOMPARE(Describe(outcome.error), error);
    QCOMPARE(outcome.arrCalls.size(), calls);
}

void VbsTest::stopAndMissingMacro()
{
    for (const char* pszScript : {"Do\nLoop", "While True : Wend", "For i = 0 To 1 Step 0 : Next",
                                  "Sub A : A : End Sub\nA"}) {
        CVbsInterpreter interpreter;
        QVERIFY(!interpreter.Compile(QString::fromLatin1(pszScript)));
        std::atomic<bool> bStop{true};
        QCOMPARE(Describe(interpreter.Run(nullptr, bStop)), QStringLiteral("ok"));
    }
    // Without a macro object its calls are undefined procedures.
    CVbsInterpreter interpreter;
    QVERIFY(!interpreter.Compile("Send 1"));
    std::atomic<bool> bStop{false};
    QCOMPARE(Describe(interpreter.Run(nullptr, bStop)),
             QStringLiteral("13 Type mismatch: 'Send' @1:1 [Send 1]"));
}

void VbsTest::budgetsEndARun()
{
    struct Case
    {
        const char* pszScript;
        VbsBudget budget;
        QString strError;
    };
    // Strings held in variables and on the stack add up, each under its own limit.
    const Case cases[] = {
        {"x = 1\nDo\nLoop",
         {100, 0},
         "17 Can't perform requested operation: more than 100 steps @"},
        {"a = \"0123456789\"\nFor i = 1 To 6\na = a & a\nNext",
         {0, 500},
         "7 Out of memory: strings over 500 characters @3:1 [a = a & a]"},
        {"a = \"0123456789\"\nb = a & a\nc = b & UCase(b)",
         {0, 60},
         "7 Out of memory: strings over 60 characters @3:1 [c = b & UCase(b)]"},
        {"a = \"0123456789\"\nFor i = 1 To 4\na = a & a\nNext", {1000, 300}, "ok"},
    };
    for (const Case& c : cases) {
        CVbsInterpreter interpreter;
        QVERIFY(!interpreter.Compile(QString::fromLatin1(c.pszScript)));
        std::atomic<bool> bStop{false};
        QVERIFY2(Describe(interpreter.Run(nullptr, bStop, c.budget)).startsWith(c.strError),
                 c.pszScript);
    }
}

void VbsTest::malformedScriptsFailCleanly()
{
    const auto limitCase = [](const QString& strOpen, const QString& strClose, int nDepth) {
        QString str = "x = 1\n";
        for (int i = 0; i < nDepth; ++i)
            str += strOpen;
        str += "x = x";
        for (int i = 0; i < nDepth; ++i)
            str += strClose;
        return RunScript(str).error;
    };
    // 200 nested blocks and parentheses are allowed, 201 refused.
    QCOMPARE(Describe(limitCase("If 1 Then\n", "\nEnd If", 200)), QStringLiteral("ok"));
    QVERIFY(Describe(limitCase("If 1 Then\n", "\nEnd If", 201))
                .startsWith("1002 Too many nested blocks"));
    QCOMPARE(Describe(limitCase("", "", 0)), QStringLiteral("ok"));
    QString strParens = "x = " + QString(200, u'(') + "1" + QString(200, u')');
    QCOMPARE(Describe(RunScript(strParens).error), QStringLiteral("ok"));
    strParens = "x = " + QString(201, u'(') + "1" + QString(201, u')');
    QVERIFY(Describe(RunScript(strParens).error).startsWith("1002 Too many nested parentheses"));
    QVERIFY(RunScript("x = " + QString(100000, u'-') + "1").error.has_value() == false);
    QVERIFY(RunScript("x = " + QString("Not ").repeated(5000) + "1").error->nNumber == 1002);

    // 10 MB of text with a fault at its end: nothing runs.
    QString strLong = QString("Send \"x\" + 1 + 2 + 3 + 4 + 5\n").repeated(350000) + "Next";
    const Outcome longOutcome = RunScript(strLong);
    QCOMPARE(longOutcome.error->nLine, 350001u);
    QVERIFY(longOutcome.arrCalls.isEmpty());

    // Seeded mutations of example macros: only clean errors.
    const QStringList arrExamples = {
        "Option Explicit\nDim i\nFor i = 1 To 3\n  Send \"S0\" & i & \";MSV?;\"\n  Delay 500\n"
        "Next\nIf Send(\"S01;IDN?;\") Then SendHex \"0A 1b FF\" Else BusScan 31\n",
        "Function Pad(n)\n  If n < 10 Then Pad = \"0\" & n Else Pad = CStr(n)\nEnd Function\n"
        "Do While k < 5 : k = k + 1\n  ScriptControlMacro.Send \"S\" & Pad(k) & \";adr?;\"\n"
        "Loop\nx = Mid(\"abc\", 2) & Hex(255) & (2 ^ 10 \\ 3 Mod 7)\n",
    };
    const QString strAlphabet = QStringLiteral("\"'()_:&=<>+-*/\\^.,\n\r \x01ifendIfNextLoop9&H");
    QRandomGenerator random(20261208);
    for (int nRound = 0; nRound < 3000; ++nRound) {
        QString str = arrExamples[nRound % arrExamples.size()];
        const int nEdits = 1 + int(random.bounded(4));
        for (int i = 0; i < nEdits; ++i) {
            const qsizetype nAt = random.bounded(int(str.size()));
            switch (random.bounded(3)) {
            case 0:
                str.remove(nAt, 1 + random.bounded(3));
                break;
            case 1:
                str.insert(nAt, strAlphabet[random.bounded(int(strAlphabet.size()))]);
                break;
            default:
                str.insert(nAt, str.mid(random.bounded(int(str.size())), 8));
                break;
            }
        }
        CVbsInterpreter interpreter;
        CRecordingMacro macro;
        macro.m_nStopAfter = 50;
        std::optional<ScriptError> error = interpreter.Compile(str);
        if (!error)
            error = interpreter.Run(&macro, macro.m_bStop);
        if (error) {
            QVERIFY2(error->nNumber != 0 && error->nLine >= 1 && !error->strDescription.isEmpty(),
                     qPrintable(str));
            QVERIFY2(error->nNumber != 1002 || macro.m_arrCalls.isEmpty(), qPrintable(str));
        }
    }
}

void VbsTest::scriptFilesDecode()
{
    const QString strExpected = QStringLiteral("Send \"中\"");
    QCOMPARE(CScriptText::Decode("\xEF\xBB\xBFSend \"\xE4\xB8\xAD\""), strExpected);
    QCOMPARE(CScriptText::Decode("Send \"\xD6\xD0\""), strExpected);
    // A mark left in the text is skipped by the interpreter too.
    QCOMPARE(RunScript(QChar(QChar::ByteOrderMark) + strExpected).arrCalls, QStringList{"Send 中"});
}

QTEST_GUILESS_MAIN(VbsTest)
#include "VbsTest.moc"
