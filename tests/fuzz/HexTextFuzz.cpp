// The terminal's hexadecimal send text. The parse gives at most half the
// text's length in bytes and stops inside the text; the text up to where it
// stopped parses the same; the bytes written back as hex parse back to
// themselves.
#include "FuzzInput.h"

#include "terminal/HexText.h"

#include <QString>

namespace {

QByteArray Parse(const QString& strText, qsizetype& nStop)
{
    QByteArray bytes("stale");
    const int nCount = ParseHexText(strText, bytes, &nStop);
    FUZZ_CHECK(nCount == bytes.size());
    FUZZ_CHECK(bytes.size() <= strText.size() / 2);
    FUZZ_CHECK(nStop >= 0 && nStop <= strText.size());
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    const QString strText = QString::fromUtf8(input.Rest());
    qsizetype nStop = 0;
    const QByteArray bytes = Parse(strText, nStop);

    qsizetype nPrefixStop = 0;
    FUZZ_CHECK(Parse(strText.left(nStop), nPrefixStop) == bytes);
    FUZZ_CHECK(nPrefixStop == nStop);

    for (const QString& strHex :
         {QString::fromLatin1(bytes.toHex(' ')), QString::fromLatin1(bytes.toHex().toUpper())}) {
        qsizetype nHexStop = 0;
        FUZZ_CHECK(Parse(strHex, nHexStop) == bytes);
        FUZZ_CHECK(nHexStop == strHex.size());
    }
    return 0;
}
