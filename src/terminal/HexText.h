#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// Hexadecimal send text. Pairs of hexadecimal digits become bytes; only
// spaces in front of a pair are skipped. The parse stops at the first
// character that does not start a valid pair, and at a lone last digit.

// 0..15 for a hexadecimal digit, -1 for any other character.
int HexDigitValue(QChar c);

// Parses strText into bytes and returns their number (never more than half
// the text's length). pStoppedAt, when given, receives the index of the first
// character the parse did not take, or the text's length when it took all.
int ParseHexText(const QString& strText, QByteArray& bytes, qsizetype* pStoppedAt = nullptr);

// True when the text from nFrom on holds only spaces, tabs and line breaks:
// a parse that stopped there stopped at the end of what was meant.
bool IsBlankTail(const QString& strText, qsizetype nFrom);
