#pragma once

#include "terminal/vbs/VbsValue.h"

#include <QString>

enum class EVbsToken
{
    End,
    Newline,
    Colon,
    Identifier,
    Keyword,
    Literal,
    Operator,
    Error
};

enum class EVbsKeyword
{
    None,
    And,
    Or,
    Xor,
    Not,
    Mod,
    If,
    Then,
    Else,
    ElseIf,
    End,
    For,
    To,
    Step,
    Next,
    Do,
    Loop,
    While,
    Until,
    Wend,
    Exit,
    Sub,
    Function,
    Call,
    Dim,
    Const,
    Option,
    ByVal,
    ByRef,
    True,
    False,
    Empty
};

// Two-character operators get codes of their own.
enum EVbsOperatorCode : char16_t
{
    kOpLessEqual = 0x2264,
    kOpGreaterEqual = 0x2265,
    kOpNotEqual = 0x2260
};

struct VbsToken
{
    EVbsToken eKind = EVbsToken::End;
    EVbsKeyword eKeyword = EVbsKeyword::None;
    char16_t cOperator = 0;
    QString strText; // the word as written, or the error's description
    CVbsValue value; // a literal's value
    int nLine = 1;
    int nColumn = 1;
};

// Splits a script into tokens, one at a time. Comments and line continuations
// are skipped; a lone CR, LF or CR LF ends a line. Words outside the language
// (Set, Select, ...) and malformed text come back as error tokens.
class CVbsLexer
{
public:
    explicit CVbsLexer(const QString& strText);
    VbsToken Next();

private:
    QChar Peek(qsizetype nAhead = 0) const;
    void NewLine();
    void SkipBlanks();
    VbsToken Make(EVbsToken eKind) const;
    VbsToken Error(const QString& strDescription) const;
    VbsToken Word();
    VbsToken Number();
    VbsToken HexNumber();
    VbsToken String();
    VbsToken Operator();

    const QString& m_strText;
    qsizetype m_nPos = 0;
    qsizetype m_nStart = 0;
    int m_nLine = 1;
    qsizetype m_nLineStart = 0;
    int m_nTokenLine = 1;
    int m_nTokenColumn = 1;
};
