#include "terminal/HexText.h"

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

int ParseHexText(const QString& strText, QByteArray& bytes, qsizetype* pStoppedAt)
{
    const qsizetype nLen = strText.size();
    bytes.resize(nLen / 2);
    qsizetype i = 0;
    qsizetype j = 0;
    qsizetype nStop = nLen;
    while (i < nLen) {
        const QChar c = strText.at(i);
        ++i;
        if (c == QLatin1Char(' '))
            continue;
        if (i == nLen) {
            nStop = i - 1;
            break;
        }
        const int nHigh = HexDigitValue(c);
        const int nLow = HexDigitValue(strText.at(i));
        if (nHigh < 0 || nLow < 0) {
            nStop = i - 1;
            break;
        }
        bytes[j++] = static_cast<char>(nHigh * 16 + nLow);
        ++i;
    }
    bytes.truncate(j);
    if (pStoppedAt != nullptr)
        *pStoppedAt = nStop;
    return static_cast<int>(j);
}

bool IsBlankTail(const QString& strText, qsizetype nFrom)
{
    for (qsizetype i = nFrom; i < strText.size(); ++i) {
        const QChar c = strText.at(i);
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\r') &&
            c != QLatin1Char('\n'))
            return false;
    }
    return true;
}
