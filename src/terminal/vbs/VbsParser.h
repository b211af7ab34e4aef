#pragma once

#include "terminal/vbs/VbsLexer.h"
#include "terminal/vbs/VbsProgram.h"

#include <QString>

#include <vector>

struct VbsSyntaxError
{
    int nLine = 1;
    int nColumn = 1;
    QString strDescription;
};

// Parses a whole script and compiles it to stack-machine code; names stay
// unresolved (CVbsResolver binds them). Throws VbsSyntaxError. Nesting is
// bounded (blocks, parentheses, unary operators), so the parser's own
// recursion stays shallow whatever the text.
class CVbsParser
{
public:
    static constexpr int kMaxBlockDepth = 200;
    static constexpr int kMaxParenthesisDepth = 200;

    explicit CVbsParser(const QString& strText);
    VbsProgram Parse();

private:
    enum class ELoop
    {
        For,
        Do,
        While
    };
    struct Loop
    {
        ELoop eKind;
        std::vector<int> arrExits;
    };

    // Tokens
    void Advance();
    const VbsToken& Cur();
    const VbsToken& PeekToken();
    bool IsKeyword(EVbsKeyword eKeyword);
    bool IsOperator(char16_t c);
    bool AtStatementEnd();
    void SkipSeparators();
    [[noreturn]] void Fail(const QString& strDescription);
    void ExpectKeyword(EVbsKeyword eKeyword, const char* pszText);
    void ExpectOperator(char16_t c);
    void ExpectStatementEnd();
    QString ExpectIdentifier();

    // Code
    VbsProcedure& Proc() { return m_program.arrProcedures[size_t(m_nProc)]; }
    int Emit(EVbsOp eOp, qint32 nA = 0, qint32 nB = 0);
    int Here() { return int(Proc().arrCode.size()); }
    void PatchTarget(int nAt, int nTarget);
    int Constant(const CVbsValue& value);
    int Name(const QString& strName);
    void SetStatementStart();
    void EmitStatement();
    void EnterBlock();
    void DeclareLocal(const QString& strName);

    // Statements
    void ParseTopLevel();
    void ParseProcedure(bool bFunction);
    EVbsKeyword ParseBlock();
    void ParseStatement();
    void ParseIf();
    void ParseInlineStatements();
    void ParseFor();
    void ParseDo();
    void ParseWhile();
    void ParseExit();
    void ParseDim();
    void ParseConst();
    void ParseCall();
    void ParseIdentifierStatement();
    void CloseLoop(int nExit);

    // Expressions
    void ParseExpression(int nMinPrecedence = 1);
    void ParseUnary();
    void ParsePrimary();
    int ParseStatementArguments();
    int ParseParenthesisArguments();
    void EnterParenthesis();

    CVbsLexer m_lexer;
    VbsToken m_cur;
    VbsToken m_next;
    bool m_bHasNext = false;
    VbsProgram m_program;
    QHash<QString, int> m_hashNames;
    QHash<QString, int> m_hashStringConsts;
    int m_nProc = 0;
    int m_nBlockDepth = 0;
    int m_nParenthesisDepth = 0;
    int m_nUnaryDepth = 0;
    int m_nInlineIf = 0;
    int m_nStatementLine = 1;
    int m_nStatementColumn = 1;
    int m_nStatementOp = 0;
    bool m_bFirstStatementArgument = false; // Foo(1, 2) as a statement is refused
    std::vector<Loop> m_arrLoops;
};
