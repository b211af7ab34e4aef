#include "terminal/vbs/VbsLexer.h"

#include <QHash>
#include <QSet>

namespace {
const QHash<QString, EVbsKeyword>& Keywords()
{
    static const QHash<QString, EVbsKeyword> hash = {
        {"and", EVbsKeyword::And},       {"or", EVbsKeyword::Or},
        {"xor", EVbsKeyword::Xor},       {"not", EVbsKeyword::Not},
        {"mod", EVbsKeyword::Mod},       {"if", EVbsKeyword::If},
        {"then", EVbsKeyword::Then},     {"else", EVbsKeyword::Else},
        {"elseif", EVbsKeyword::ElseIf}, {"end", EVbsKeyword::End},
        {"for", EVbsKeyword::For},       {"to", EVbsKeyword::To},
        {"step", EVbsKeyword::Step},     {"next", EVbsKeyword::Next},
        {"do", EVbsKeyword::Do},         {"loop", EVbsKeyword::Loop},
        {"while", EVbsKeyword::While},   {"until", EVbsKeyword::Until},
        {"wend", EVbsKeyword::Wend},     {"exit", EVbsKeyword::Exit},
        {"sub", EVbsKeyword::Sub},       {"function", EVbsKeyword::Function},
        {"call", EVbsKeyword::Call},     {"dim", EVbsKeyword::Dim},
        {"const", EVbsKeyword::Const},   {"option", EVbsKeyword::Option},
        {"byval", EVbsKeyword::ByVal},   {"byref", EVbsKeyword::ByRef},
        {"true", EVbsKeyword::True},     {"false", EVbsKeyword::False},
        {"empty", EVbsKeyword::Empty},
    };
    return hash;
}

// VBScript words this interpreter does not offer: refused, never guessed at.
const QSet<QString>& UnsupportedWords()
{
    static const QSet<QString> set = {
        "set",    "redim",   "preserve",      "erase",    "select",    "case",  "on",      "error",
        "resume", "with",    "class",         "property", "get",       "let",   "private", "public",
        "new",    "nothing", "null",          "is",       "eqv",       "imp",   "execute", "eval",
        "goto",   "each",    "executeglobal", "stop",     "randomize", "static"};
    return set;
}

bool IsWordStart(QChar c)
{
    return c.isLetter();
}

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

constexpr int kMaxWordLength = 255;
} // namespace

CVbsLexer::CVbsLexer(const QString& strText) : m_strText(strText)
{
    // A byte order mark left at the start is no part of the script.
    if (m_strText.startsWith(QChar::ByteOrderMark))
        m_nPos = m_nLineStart = 1;
}

QChar CVbsLexer::Peek(qsizetype nAhead) const
{
    const qsizetype n = m_nPos + nAhead;
    return n < m_strText.size() ? m_strText[n] : QChar();
}

void CVbsLexer::NewLine()
{
    if (Peek() == u'\r' && Peek(1) == u'\n')
        ++m_nPos;
    ++m_nPos;
    ++m_nLine;
    m_nLineStart = m_nPos;
}

void CVbsLexer::SkipBlanks()
{
    for (;;) {
        const QChar c = Peek();
        if (c == u' ' || c == u'\t') {
            ++m_nPos;
        } else if (c == u'_' && m_nPos + 1 <= m_strText.size()) {
            // " _" at the end of a line continues the statement on the next one.
            qsizetype n = m_nPos + 1;
            while (n < m_strText.size() && (m_strText[n] == u' ' || m_strText[n] == u'\t'))
                ++n;
            if (n >= m_strText.size() || (m_strText[n] != u'\r' && m_strText[n] != u'\n'))
                return;
            m_nPos = n;
            if (m_nPos < m_strText.size())
                NewLine();
        } else {
            return;
        }
    }
}

VbsToken CVbsLexer::Make(EVbsToken eKind) const
{
    VbsToken token;
    token.eKind = eKind;
    token.nLine = m_nTokenLine;
    token.nColumn = m_nTokenColumn;
    return token;
}

VbsToken CVbsLexer::Error(const QString& strDescription) const
{
    VbsToken token = Make(EVbsToken::Error);
    token.strText = strDescription;
    return token;
}

VbsToken CVbsLexer::Next()
{
    SkipBlanks();
    m_nStart = m_nPos;
    m_nTokenLine = m_nLine;
    m_nTokenColumn = int(m_nPos - m_nLineStart) + 1;
    if (m_nPos >= m_strText.size())
        return Make(EVbsToken::End);
    const QChar c = Peek();
    if (c == u'\r' || c == u'\n') {
        NewLine();
        return Make(EVbsToken::Newline);
    }
    if (c == u'\'') {
        while (m_nPos < m_strText.size() && Peek() != u'\r' && Peek() != u'\n')
            ++m_nPos;
        return Next();
    }
    if (c == u':') {
        ++m_nPos;
        return Make(EVbsToken::Colon);
    }
    if (IsWordStart(c))
        return Word();
    if (IsAsciiDigit(c) || (c == u'.' && IsAsciiDigit(Peek(1))))
        return Number();
    if (c == u'&' && (Peek(1) == u'H' || Peek(1) == u'h'))
        return HexNumber();
    if (c == u'"')
        return String();
    return Operator();
}

VbsToken CVbsLexer::Word()
{
    while (m_nPos < m_strText.size() && IsWordChar(Peek()))
        ++m_nPos;
    const QString strWord = m_strText.mid(m_nStart, m_nPos - m_nStart);
    if (strWord.size() > kMaxWordLength)
        return Error(QStringLiteral("Identifier too long"));
    const QString strLower = strWord.toLower();
    if (strLower == u"rem" && (m_nPos >= m_strText.size() || Peek() == u' ' || Peek() == u'\t' ||
                               Peek() == u'\r' || Peek() == u'\n')) {
        while (m_nPos < m_strText.size() && Peek() != u'\r' && Peek() != u'\n')
            ++m_nPos;
        return Next();
    }
    if (UnsupportedWords().contains(strLower))
        return Error(QStringLiteral("'%1' is not supported").arg(strWord));
    VbsToken token = Make(EVbsToken::Identifier);
    token.strText = strWord;
    const auto it = Keywords().constFind(strLower);
    if (it != Keywords().constEnd()) {
        token.eKind = EVbsToken::Keyword;
        token.eKeyword = *it;
    }
    return token;
}

VbsToken CVbsLexer::Number()
{
    bool bWhole = true;
    while (IsAsciiDigit(Peek()))
        ++m_nPos;
    if (Peek() == u'.') {
        bWhole = false;
        ++m_nPos;
        while (IsAsciiDigit(Peek()))
            ++m_nPos;
    }
    if ((Peek() == u'e' || Peek() == u'E') &&
        (IsAsciiDigit(Peek(1)) ||
         ((Peek(1) == u'+' || Peek(1) == u'-') && IsAsciiDigit(Peek(2))))) {
        bWhole = false;
        m_nPos += 2;
        while (IsAsciiDigit(Peek()))
            ++m_nPos;
    }
    if (IsWordChar(Peek()))
        return Error(QStringLiteral("Expected end of statement"));
    const QString strNumber = m_strText.mid(m_nStart, m_nPos - m_nStart);
    VbsToken token = Make(EVbsToken::Literal);
    bool bOk = false;
    if (bWhole) {
        const qint64 n = strNumber.toLongLong(&bOk);
        if (bOk && n <= 2147483647) {
            token.value = CVbsValue::FromLong(qint32(n));
            return token;
        }
    }
    const double d = strNumber.toDouble(&bOk);
    if (!bOk || !std::isfinite(d))
        return Error(QStringLiteral("Invalid number"));
    token.value = CVbsValue::FromDouble(d);
    return token;
}

VbsToken CVbsLexer::HexNumber()
{
    m_nPos += 2;
    while (Peek().isDigit() || (Peek().toLower() >= u'a' && Peek().toLower() <= u'f'))
        ++m_nPos;
    const QString strDigits = m_strText.mid(m_nStart + 2, m_nPos - m_nStart - 2);
    bool bOk = false;
    const quint32 n = strDigits.toUInt(&bOk, 16);
    if (strDigits.isEmpty() || strDigits.size() > 8 || !bOk || IsWordChar(Peek()))
        return Error(QStringLiteral("Invalid number"));
    VbsToken token = Make(EVbsToken::Literal);
    token.value = CVbsValue::FromLong(qint32(n));
    return token;
}

VbsToken CVbsLexer::String()
{
    QString str;
    ++m_nPos;
    for (;;) {
        if (m_nPos >= m_strText.size() || Peek() == u'\r' || Peek() == u'\n')
            return Error(QStringLiteral("Unterminated string constant"));
        if (Peek() == u'"') {
            if (Peek(1) != u'"')
                break;
            ++m_nPos;
        }
        str += Peek();
        ++m_nPos;
        if (str.size() > CVbsValue::kMaxStringLength)
            return Error(QStringLiteral("Out of string space"));
    }
    ++m_nPos;
    VbsToken token = Make(EVbsToken::Literal);
    token.value = CVbsValue::FromString(str);
    return token;
}

VbsToken CVbsLexer::Operator()
{
    const QChar c = Peek();
    const QChar cNext = Peek(1);
    VbsToken token = Make(EVbsToken::Operator);
    ++m_nPos;
    if (c == u'<' && (cNext == u'=' || cNext == u'>')) {
        ++m_nPos;
        token.cOperator = cNext == u'=' ? kOpLessEqual : kOpNotEqual;
        return token;
    }
    if (c == u'>' && cNext == u'=') {
        ++m_nPos;
        token.cOperator = kOpGreaterEqual;
        return token;
    }
    if (QStringView(u"+-*/\\^&=<>(),.").contains(c)) {
        token.cOperator = c.unicode();
        return token;
    }
    return Error(QStringLiteral("Invalid character"));
}
