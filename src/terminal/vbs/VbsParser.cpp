#include "terminal/vbs/VbsParser.h"

#include "terminal/vbs/VbsOperators.h"

namespace {
using EBinary = CVbsOperators::EBinary;

constexpr int kNotOperandPrecedence = 5;
constexpr int kNegateOperandPrecedence = 12;

struct BinaryOperator
{
    EBinary eOp;
    int nPrecedence;
};

std::optional<BinaryOperator> BinaryAt(const VbsToken& token)
{
    if (token.eKind == EVbsToken::Keyword) {
        switch (token.eKeyword) {
        case EVbsKeyword::Xor:
            return BinaryOperator{EBinary::Xor, 1};
        case EVbsKeyword::Or:
            return BinaryOperator{EBinary::Or, 2};
        case EVbsKeyword::And:
            return BinaryOperator{EBinary::And, 3};
        case EVbsKeyword::Mod:
            return BinaryOperator{EBinary::Mod, 8};
        default:
            return std::nullopt;
        }
    }
    if (token.eKind != EVbsToken::Operator)
        return std::nullopt;
    switch (token.cOperator) {
    case u'=':
        return BinaryOperator{EBinary::Equal, 5};
    case kOpNotEqual:
        return BinaryOperator{EBinary::NotEqual, 5};
    case u'<':
        return BinaryOperator{EBinary::Less, 5};
    case u'>':
        return BinaryOperator{EBinary::Greater, 5};
    case kOpLessEqual:
        return BinaryOperator{EBinary::LessEqual, 5};
    case kOpGreaterEqual:
        return BinaryOperator{EBinary::GreaterEqual, 5};
    case u'&':
        return BinaryOperator{EBinary::Concat, 6};
    case u'+':
        return BinaryOperator{EBinary::Add, 7};
    case u'-':
        return BinaryOperator{EBinary::Subtract, 7};
    case u'\\':
        return BinaryOperator{EBinary::IntDivide, 9};
    case u'*':
        return BinaryOperator{EBinary::Multiply, 10};
    case u'/':
        return BinaryOperator{EBinary::Divide, 10};
    case u'^':
        return BinaryOperator{EBinary::Power, 12};
    default:
        return std::nullopt;
    }
}

bool IsMacroObject(const QString& strName)
{
    return strName.compare(u"ScriptControlMacro", Qt::CaseInsensitive) == 0;
}
} // namespace

CVbsParser::CVbsParser(const QString& strText) : m_lexer(strText)
{
    m_cur = m_lexer.Next();
}

VbsProgram CVbsParser::Parse()
{
    m_program.arrProcedures.emplace_back();
    ParseTopLevel();
    return std::move(m_program);
}

// ---- Tokens

void CVbsParser::Advance()
{
    if (m_bHasNext) {
        m_cur = std::move(m_next);
        m_bHasNext = false;
    } else {
        m_cur = m_lexer.Next();
    }
}

const VbsToken& CVbsParser::Cur()
{
    if (m_cur.eKind == EVbsToken::Error)
        Fail(m_cur.strText);
    return m_cur;
}

const VbsToken& CVbsParser::PeekToken()
{
    if (!m_bHasNext) {
        m_next = m_lexer.Next();
        m_bHasNext = true;
    }
    return m_next;
}

bool CVbsParser::IsKeyword(EVbsKeyword eKeyword)
{
    return Cur().eKind == EVbsToken::Keyword && m_cur.eKeyword == eKeyword;
}

bool CVbsParser::IsOperator(char16_t c)
{
    return Cur().eKind == EVbsToken::Operator && m_cur.cOperator == c;
}

bool CVbsParser::AtStatementEnd()
{
    const EVbsToken eKind = Cur().eKind;
    return eKind == EVbsToken::Newline || eKind == EVbsToken::Colon || eKind == EVbsToken::End ||
           (m_nInlineIf > 0 && IsKeyword(EVbsKeyword::Else));
}

void CVbsParser::SkipSeparators()
{
    // Not Cur(): an error token is reported once its statement has begun.
    while (m_cur.eKind == EVbsToken::Newline || m_cur.eKind == EVbsToken::Colon)
        Advance();
}

void CVbsParser::Fail(const QString& strDescription)
{
    // A statement continued over lines reports its first line.
    const bool bSameLine = m_cur.nLine == m_nStatementLine;
    throw VbsSyntaxError{m_nStatementLine, bSameLine ? m_cur.nColumn : m_nStatementColumn,
                         strDescription};
}

void CVbsParser::ExpectKeyword(EVbsKeyword eKeyword, const char* pszText)
{
    if (!IsKeyword(eKeyword))
        Fail(QStringLiteral("Expected '%1'").arg(QLatin1String(pszText)));
    Advance();
}

void CVbsParser::ExpectOperator(char16_t c)
{
    if (!IsOperator(c))
        Fail(QStringLiteral("Expected '%1'").arg(QChar(c)));
    Advance();
}

void CVbsParser::ExpectStatementEnd()
{
    if (!AtStatementEnd())
        Fail(QStringLiteral("Expected end of statement"));
}

QString CVbsParser::ExpectIdentifier()
{
    if (Cur().eKind != EVbsToken::Identifier)
        Fail(QStringLiteral("Expected identifier"));
    QString str = m_cur.strText;
    Advance();
    return str;
}

// ---- Code

int CVbsParser::Emit(EVbsOp eOp, qint32 nA, qint32 nB)
{
    Proc().arrCode.push_back(VbsOp{eOp, nA, nB});
    return Here() - 1;
}

void CVbsParser::PatchTarget(int nAt, int nTarget)
{
    VbsOp& op = Proc().arrCode[size_t(nAt)];
    if (op.eOp == EVbsOp::ForTest)
        op.nB = nTarget;
    else
        op.nA = nTarget;
}

int CVbsParser::Constant(const CVbsValue& value)
{
    if (value.IsString()) {
        const auto it = m_hashStringConsts.constFind(value.StringValue());
        if (it != m_hashStringConsts.constEnd())
            return *it;
        m_hashStringConsts.insert(value.StringValue(), int(m_program.arrConsts.size()));
    }
    m_program.arrConsts.push_back(value);
    return int(m_program.arrConsts.size()) - 1;
}

int CVbsParser::Name(const QString& strName)
{
    const QString strLower = strName.toLower();
    const auto it = m_hashNames.constFind(strLower);
    if (it != m_hashNames.constEnd())
        return *it;
    m_program.arrNames.append(strName);
    m_hashNames.insert(strLower, int(m_program.arrNames.size()) - 1);
    return int(m_program.arrNames.size()) - 1;
}

void CVbsParser::SetStatementStart()
{
    m_nStatementLine = m_cur.nLine;
    m_nStatementColumn = m_cur.nColumn;
}

void CVbsParser::EmitStatement()
{
    m_nStatementOp = Emit(EVbsOp::Statement, m_nStatementLine, m_nStatementColumn);
}

void CVbsParser::EnterBlock()
{
    if (++m_nBlockDepth > kMaxBlockDepth)
        Fail(QStringLiteral("Too many nested blocks (more than %1)").arg(kMaxBlockDepth));
}

void CVbsParser::DeclareLocal(const QString& strName)
{
    const QString strLower = strName.toLower();
    VbsProcedure& proc = Proc();
    if (proc.hashLocals.contains(strLower) || proc.hashConsts.contains(strLower) ||
        (proc.bFunction && strLower == proc.strName.toLower()))
        Fail(QStringLiteral("Name redefined: '%1'").arg(strName));
    proc.hashLocals.insert(strLower, proc.nSlots++);
}

// ---- Statements

void CVbsParser::ParseTopLevel()
{
    SkipSeparators();
    if (IsKeyword(EVbsKeyword::Option)) {
        SetStatementStart();
        Advance();
        if (Cur().eKind != EVbsToken::Identifier ||
            m_cur.strText.compare(u"Explicit", Qt::CaseInsensitive) != 0)
            Fail(QStringLiteral("Expected 'Explicit'"));
        Advance();
        ExpectStatementEnd();
        m_program.bExplicit = true;
    }
    for (;;) {
        SkipSeparators();
        SetStatementStart();
        if (m_cur.eKind == EVbsToken::End)
            break;
        if (IsKeyword(EVbsKeyword::Sub) || IsKeyword(EVbsKeyword::Function)) {
            ParseProcedure(IsKeyword(EVbsKeyword::Function));
        } else {
            EmitStatement();
            ParseStatement();
        }
        ExpectStatementEnd();
    }
    Emit(EVbsOp::Return);
}

void CVbsParser::ParseProcedure(bool bFunction)
{
    Advance();
    const QString strName = ExpectIdentifier();
    const QString strLower = strName.toLower();
    if (m_program.hashProcedures.contains(strLower) || Proc().hashLocals.contains(strLower) ||
        Proc().hashConsts.contains(strLower))
        Fail(QStringLiteral("Name redefined: '%1'").arg(strName));
    VbsProcedure proc;
    proc.strName = strName;
    proc.bFunction = bFunction;
    m_program.arrProcedures.push_back(std::move(proc));
    m_nProc = int(m_program.arrProcedures.size()) - 1;
    m_program.hashProcedures.insert(strLower, m_nProc);
    if (IsOperator(u'(')) {
        Advance();
        while (!IsOperator(u')')) {
            if (IsKeyword(EVbsKeyword::ByRef))
                Fail(QStringLiteral("ByRef parameters are not supported"));
            if (IsKeyword(EVbsKeyword::ByVal))
                Advance();
            DeclareLocal(ExpectIdentifier());
            ++Proc().nParams;
            if (IsOperator(u'('))
                Fail(QStringLiteral("Arrays are not supported"));
            if (!IsOperator(u','))
                break;
            Advance();
        }
        ExpectOperator(u')');
    }
    ExpectStatementEnd();
    const EVbsKeyword eEnd = ParseBlock();
    const EVbsKeyword eKind = bFunction ? EVbsKeyword::Function : EVbsKeyword::Sub;
    if (eEnd != EVbsKeyword::End || PeekToken().eKind != EVbsToken::Keyword ||
        m_next.eKeyword != eKind)
        Fail(bFunction ? QStringLiteral("Expected 'End Function'")
                       : QStringLiteral("Expected 'End Sub'"));
    Advance();
    Advance();
    Emit(EVbsOp::Return);
    m_nProc = 0;
}

EVbsKeyword CVbsParser::ParseBlock()
{
    for (;;) {
        SkipSeparators();
        SetStatementStart();
        if (m_cur.eKind == EVbsToken::End)
            return EVbsKeyword::None;
        if (m_cur.eKind == EVbsToken::Keyword) {
            switch (m_cur.eKeyword) {
            case EVbsKeyword::ElseIf:
            case EVbsKeyword::Else:
            case EVbsKeyword::Next:
            case EVbsKeyword::Loop:
            case EVbsKeyword::Wend:
            case EVbsKeyword::End:
                return m_cur.eKeyword;
            default:
                break;
            }
        }
        EmitStatement();
        ParseStatement();
        ExpectStatementEnd();
    }
}

void CVbsParser::ParseStatement()
{
    const VbsToken& token = Cur();
    if (token.eKind == EVbsToken::Identifier) {
        ParseIdentifierStatement();
        return;
    }
    if (token.eKind != EVbsToken::Keyword)
        Fail(QStringLiteral("Expected statement"));
    const bool bInline = m_nInlineIf > 0;
    switch (token.eKeyword) {
    case EVbsKeyword::If:
        ParseIf();
        return;
    case EVbsKeyword::For:
        if (!bInline) {
            ParseFor();
            return;
        }
        break;
    case EVbsKeyword::Do:
        if (!bInline) {
            ParseDo();
            return;
        }
        break;
    case EVbsKeyword::While:
        if (!bInline) {
            ParseWhile();
            return;
        }
        break;
    case EVbsKeyword::Exit:
        ParseExit();
        return;
    case EVbsKeyword::Dim:
        ParseDim();
        return;
    case EVbsKeyword::Const:
        ParseConst();
        return;
    case EVbsKeyword::Call:
        ParseCall();
        return;
    case EVbsKeyword::Option:
        Fail(QStringLiteral("Option Explicit must be the first statement"));
    case EVbsKeyword::Sub:
    case EVbsKeyword::Function:
        Fail(QStringLiteral("Sub and Function must stand at the top level"));
    default:
        break;
    }
    Fail(QStringLiteral("Expected statement"));
}

void CVbsParser::ParseIf()
{
    Advance();
    ParseExpression();
    ExpectKeyword(EVbsKeyword::Then, "Then");
    EnterBlock();
    int nJumpFalse = Emit(EVbsOp::JumpIfFalse);
    if (Cur().eKind != EVbsToken::Newline && m_cur.eKind != EVbsToken::End) {
        // One-line form: every statement up to the line's end depends on the condition.
        ++m_nInlineIf;
        ParseInlineStatements();
        if (IsKeyword(EVbsKeyword::Else)) {
            const int nJumpEnd = Emit(EVbsOp::Jump);
            PatchTarget(nJumpFalse, Here());
            Advance();
            ParseInlineStatements();
            nJumpFalse = nJumpEnd;
        }
        PatchTarget(nJumpFalse, Here());
        --m_nInlineIf;
        --m_nBlockDepth;
        return;
    }
    if (m_nInlineIf > 0)
        Fail(QStringLiteral("Expected statement"));
    std::vector<int> arrEnds;
    EVbsKeyword eEnd = ParseBlock();
    while (eEnd == EVbsKeyword::ElseIf) {
        arrEnds.push_back(Emit(EVbsOp::Jump));
        PatchTarget(nJumpFalse, Here());
        EmitStatement();
        Advance();
        ParseExpression();
        ExpectKeyword(EVbsKeyword::Then, "Then");
        nJumpFalse = Emit(EVbsOp::JumpIfFalse);
        eEnd = ParseBlock();
    }
    if (eEnd == EVbsKeyword::Else) {
        arrEnds.push_back(Emit(EVbsOp::Jump));
        PatchTarget(nJumpFalse, Here());
        nJumpFalse = -1;
        Advance();
        eEnd = ParseBlock();
    }
    if (eEnd != EVbsKeyword::End || PeekToken().eKind != EVbsToken::Keyword ||
        m_next.eKeyword != EVbsKeyword::If)
        Fail(QStringLiteral("Expected 'End If'"));
    Advance();
    Advance();
    if (nJumpFalse >= 0)
        PatchTarget(nJumpFalse, Here());
    for (const int nAt : arrEnds)
        PatchTarget(nAt, Here());
    --m_nBlockDepth;
}

void CVbsParser::ParseInlineStatements()
{
    for (;;) {
        while (Cur().eKind == EVbsToken::Colon)
            Advance();
        if (m_cur.eKind == EVbsToken::Newline || m_cur.eKind == EVbsToken::End ||
            IsKeyword(EVbsKeyword::Else))
            return;
        SetStatementStart();
        EmitStatement();
        ParseStatement();
        ExpectStatementEnd();
    }
}

void CVbsParser::ParseFor()
{
    Advance();
    const int nCounter = Name(ExpectIdentifier());
    ExpectOperator(u'=');
    ParseExpression();
    ExpectKeyword(EVbsKeyword::To, "To");
    ParseExpression();
    if (IsKeyword(EVbsKeyword::Step)) {
        Advance();
        ParseExpression();
    } else {
        Emit(EVbsOp::PushConst, Constant(CVbsValue::FromLong(1)));
    }
    ExpectStatementEnd();
    EnterBlock();
    const int nHidden = Proc().nHidden;
    Proc().nHidden += 2;
    Emit(EVbsOp::ForPrepare, nHidden);
    Emit(EVbsOp::StoreName, nCounter);
    const int nCheck = Emit(EVbsOp::LoadName, nCounter);
    const int nTest = Emit(EVbsOp::ForTest, nHidden, 0);
    m_arrLoops.push_back(Loop{ELoop::For, {nTest}});
    if (ParseBlock() != EVbsKeyword::Next)
        Fail(QStringLiteral("Expected 'Next'"));
    EmitStatement();
    Advance();
    if (Cur().eKind == EVbsToken::Identifier) {
        if (m_cur.strText.compare(m_program.arrNames[nCounter], Qt::CaseInsensitive) != 0)
            Fail(QStringLiteral("Invalid 'Next' variable: '%1'").arg(m_cur.strText));
        Advance();
    }
    Emit(EVbsOp::LoadName, nCounter);
    Emit(EVbsOp::ForStep, nHidden);
    Emit(EVbsOp::StoreName, nCounter);
    Emit(EVbsOp::Jump, nCheck);
    CloseLoop(Here());
}

void CVbsParser::CloseLoop(int nExit)
{
    for (const int nAt : m_arrLoops.back().arrExits)
        PatchTarget(nAt, nExit);
    m_arrLoops.pop_back();
    --m_nBlockDepth;
}

void CVbsParser::ParseDo()
{
    const int nTop = m_nStatementOp;
    Advance();
    EnterBlock();
    m_arrLoops.push_back(Loop{ELoop::Do, {}});
    const bool bPreCondition = IsKeyword(EVbsKeyword::While) || IsKeyword(EVbsKeyword::Until);
    if (bPreCondition) {
        const bool bWhile = IsKeyword(EVbsKeyword::While);
        Advance();
        ParseExpression();
        m_arrLoops.back().arrExits.push_back(
            Emit(bWhile ? EVbsOp::JumpIfFalse : EVbsOp::JumpIfTrue));
    }
    ExpectStatementEnd();
    if (ParseBlock() != EVbsKeyword::Loop)
        Fail(QStringLiteral("Expected 'Loop'"));
    EmitStatement();
    Advance();
    if (IsKeyword(EVbsKeyword::While) || IsKeyword(EVbsKeyword::Until)) {
        if (bPreCondition)
            Fail(QStringLiteral("Expected end of statement"));
        const bool bWhile = IsKeyword(EVbsKeyword::While);
        Advance();
        ParseExpression();
        Emit(bWhile ? EVbsOp::JumpIfTrue : EVbsOp::JumpIfFalse, nTop);
    } else {
        Emit(EVbsOp::Jump, nTop);
    }
    CloseLoop(Here());
}

void CVbsParser::ParseWhile()
{
    const int nTop = m_nStatementOp;
    Advance();
    EnterBlock();
    ParseExpression();
    ExpectStatementEnd();
    m_arrLoops.push_back(Loop{ELoop::While, {Emit(EVbsOp::JumpIfFalse)}});
    if (ParseBlock() != EVbsKeyword::Wend)
        Fail(QStringLiteral("Expected 'Wend'"));
    EmitStatement();
    Advance();
    Emit(EVbsOp::Jump, nTop);
    CloseLoop(Here());
}

void CVbsParser::ParseExit()
{
    Advance();
    const VbsProcedure& proc = Proc();
    if (IsKeyword(EVbsKeyword::For) || IsKeyword(EVbsKeyword::Do)) {
        const ELoop eKind = IsKeyword(EVbsKeyword::For) ? ELoop::For : ELoop::Do;
        for (auto it = m_arrLoops.rbegin(); it != m_arrLoops.rend(); ++it) {
            if (it->eKind == eKind) {
                it->arrExits.push_back(Emit(EVbsOp::Jump));
                Advance();
                return;
            }
        }
    } else if ((IsKeyword(EVbsKeyword::Sub) && m_nProc > 0 && !proc.bFunction) ||
               (IsKeyword(EVbsKeyword::Function) && m_nProc > 0 && proc.bFunction)) {
        Emit(EVbsOp::Return);
        Advance();
        return;
    }
    Fail(QStringLiteral("Invalid 'exit' statement"));
}

void CVbsParser::ParseDim()
{
    Advance();
    for (;;) {
        DeclareLocal(ExpectIdentifier());
        if (IsOperator(u'('))
            Fail(QStringLiteral("Arrays are not supported"));
        if (!IsOperator(u','))
            return;
        Advance();
    }
}

void CVbsParser::ParseConst()
{
    Advance();
    for (;;) {
        const QString strName = ExpectIdentifier();
        DeclareLocal(strName);
        VbsProcedure& proc = Proc();
        const QString strLower = strName.toLower();
        proc.hashLocals.remove(strLower);
        --proc.nSlots;
        ExpectOperator(u'=');
        bool bNegative = false;
        while (IsOperator(u'-') || IsOperator(u'+')) {
            bNegative ^= IsOperator(u'-');
            Advance();
        }
        CVbsValue value;
        if (Cur().eKind == EVbsToken::Literal && (!bNegative || !m_cur.value.IsString()))
            value = bNegative ? CVbsOperators::Unary(CVbsOperators::EUnary::Negate, m_cur.value)
                              : m_cur.value;
        else if (IsKeyword(EVbsKeyword::True) || IsKeyword(EVbsKeyword::False))
            value = CVbsValue::FromBool(IsKeyword(EVbsKeyword::True));
        else if (!IsKeyword(EVbsKeyword::Empty) || bNegative)
            Fail(QStringLiteral("Expected literal constant"));
        Advance();
        Proc().hashConsts.insert(strLower, Constant(value));
        if (!IsOperator(u','))
            return;
        Advance();
    }
}

void CVbsParser::ParseCall()
{
    Advance();
    QString strName = ExpectIdentifier();
    EVbsOp eOp = EVbsOp::CallName;
    if (IsOperator(u'.') && IsMacroObject(strName)) {
        Advance();
        strName = ExpectIdentifier();
        eOp = EVbsOp::CallMember;
    }
    const int nArguments = IsOperator(u'(') ? ParseParenthesisArguments() : 0;
    Emit(eOp, Name(strName), nArguments);
    Emit(EVbsOp::Pop);
}

void CVbsParser::ParseIdentifierStatement()
{
    QString strName = m_cur.strText;
    Advance();
    if (IsOperator(u'=')) {
        Advance();
        ParseExpression();
        Emit(EVbsOp::StoreName, Name(strName));
        return;
    }
    EVbsOp eOp = EVbsOp::CallName;
    if (IsOperator(u'.')) {
        if (!IsMacroObject(strName))
            Fail(QStringLiteral("Objects other than ScriptControlMacro are not supported"));
        Advance();
        strName = ExpectIdentifier();
        eOp = EVbsOp::CallMember;
    }
    const int nArguments = ParseStatementArguments();
    Emit(eOp, Name(strName), nArguments);
    Emit(EVbsOp::Pop);
}

// ---- Expressions

void CVbsParser::ParseExpression(int nMinPrecedence)
{
    ParseUnary();
    for (;;) {
        const std::optional<BinaryOperator> op = BinaryAt(Cur());
        if (!op || op->nPrecedence < nMinPrecedence)
            return;
        Advance();
        ParseExpression(op->nPrecedence + 1);
        Emit(EVbsOp::Binary, int(op->eOp));
    }
}

void CVbsParser::ParseUnary()
{
    const bool bNot = IsKeyword(EVbsKeyword::Not);
    if (!bNot && !IsOperator(u'-') && !IsOperator(u'+')) {
        ParsePrimary();
        return;
    }
    if (++m_nUnaryDepth > kMaxParenthesisDepth)
        Fail(QStringLiteral("Expression too complex"));
    if (bNot) {
        Advance();
        ParseExpression(kNotOperandPrecedence);
        Emit(EVbsOp::Unary, int(CVbsOperators::EUnary::Not));
    } else {
        bool bNegative = false;
        while (IsOperator(u'-') || IsOperator(u'+')) {
            bNegative ^= IsOperator(u'-');
            Advance();
        }
        ParseExpression(kNegateOperandPrecedence);
        if (bNegative)
            Emit(EVbsOp::Unary, int(CVbsOperators::EUnary::Negate));
    }
    --m_nUnaryDepth;
}

void CVbsParser::EnterParenthesis()
{
    if (++m_nParenthesisDepth > kMaxParenthesisDepth)
        Fail(
            QStringLiteral("Too many nested parentheses (more than %1)").arg(kMaxParenthesisDepth));
}

void CVbsParser::ParsePrimary()
{
    const bool bFirstOfStatementCall = m_bFirstStatementArgument;
    m_bFirstStatementArgument = false;
    const VbsToken& token = Cur();
    if (token.eKind == EVbsToken::Literal) {
        Emit(EVbsOp::PushConst, Constant(token.value));
        Advance();
        return;
    }
    if (IsKeyword(EVbsKeyword::True) || IsKeyword(EVbsKeyword::False) ||
        IsKeyword(EVbsKeyword::Empty)) {
        const CVbsValue value = IsKeyword(EVbsKeyword::Empty)
                                    ? CVbsValue()
                                    : CVbsValue::FromBool(IsKeyword(EVbsKeyword::True));
        Emit(EVbsOp::PushConst, Constant(value));
        Advance();
        return;
    }
    if (IsOperator(u'(')) {
        EnterParenthesis();
        Advance();
        ParseExpression();
        if (bFirstOfStatementCall && IsOperator(u','))
            Fail(QStringLiteral("Cannot use parentheses when calling a Sub"));
        ExpectOperator(u')');
        --m_nParenthesisDepth;
        return;
    }
    if (token.eKind != EVbsToken::Identifier)
        Fail(QStringLiteral("Expected expression"));
    QString strName = token.strText;
    Advance();
    if (IsOperator(u'(')) {
        const int nArguments = ParseParenthesisArguments();
        Emit(EVbsOp::CallName, Name(strName), nArguments);
    } else if (IsOperator(u'.') && IsMacroObject(strName)) {
        Advance();
        strName = ExpectIdentifier();
        const int nArguments = IsOperator(u'(') ? ParseParenthesisArguments() : 0;
        Emit(EVbsOp::CallMember, Name(strName), nArguments);
    } else {
        Emit(EVbsOp::LoadName, Name(strName));
    }
}

int CVbsParser::ParseStatementArguments()
{
    if (AtStatementEnd())
        return 0;
    int nArguments = 0;
    m_bFirstStatementArgument = true;
    for (;;) {
        ParseExpression();
        m_bFirstStatementArgument = false;
        ++nArguments;
        if (!IsOperator(u','))
            return nArguments;
        Advance();
    }
}

int CVbsParser::ParseParenthesisArguments()
{
    EnterParenthesis();
    Advance();
    int nArguments = 0;
    if (!IsOperator(u')')) {
        for (;;) {
            ParseExpression();
            ++nArguments;
            if (!IsOperator(u','))
                break;
            Advance();
        }
    }
    ExpectOperator(u')');
    --m_nParenthesisDepth;
    return nArguments;
}
