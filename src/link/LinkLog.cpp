#include "link/LinkLog.h"

// Warnings and above only unless the rules say otherwise.
Q_LOGGING_CATEGORY(lcLink, "tolvex.link", QtWarningMsg)

QByteArray EscapedBytes(const QByteArray& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(bytes.size() * 4);
    for (const char c : bytes) {
        const uchar ch = static_cast<uchar>(c);
        if (ch >= 0x20 && ch < 0x7F && ch != '\\') {
            text.append(c);
        } else {
            text.append("\\x");
            text.append(kDigits[ch >> 4]);
            text.append(kDigits[ch & 0x0F]);
        }
    }
    return text;
}

QByteArray LinkLogBytes(const QByteArray& bytes)
{
    return EscapedBytes(bytes) + " [" + bytes.toHex(' ').toUpper() + ']';
}
