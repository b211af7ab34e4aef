#pragma once

#include <QByteArray>
#include <QList>

// Reading the text replies of a module.
class CModuleReply
{
public:
    // The identification text is kept with at most this many characters.
    static constexpr int kMaxIdentificationLen = 259;
    static constexpr int kField2MaxLen = 15;
    static constexpr int kField3MaxLen = 7;

    // As atoi reads it: leading white space, an optional sign, the digits up to
    // the first other character; no digits read as 0. Out-of-range numbers are
    // clamped to 32 bits instead of overflowing.
    static int Atoi(const QByteArray& reply);

    // A setting or action was accepted: the reply begins with "0\r\n".
    static bool IsAcknowledged(const QByteArray& reply);
    // "?\r\n": the module does not know the query (ZTS on older modules).
    static bool IsUnsupported(const QByteArray& reply);
    // The binary measured value of output format 8: six bytes, a 24-bit
    // big-endian two's complement value in bytes 0..2, byte 3 their XOR
    // (looked at only with bChecksum), bytes 4 and 5 not looked at. A longer
    // reply is refused: junk on the line came with it, and which six bytes are
    // the module's cannot be told (without a check byte, noise before a reply
    // would be taken as a value).
    static bool DecodeMeasuredValue(const QByteArray& reply, bool bChecksum, qint32& nValue);
    // The same, telling a wrong check byte apart from a reply too short to hold a value.
    enum class ValueReply
    {
        Decoded,
        TooShort,
        TooLong,
        BadCheckByte,
    };
    static ValueReply CheckMeasuredValue(const QByteArray& reply, bool bChecksum, qint32& nValue);
    // The whole reply equals the two-digit address and CR LF.
    static bool IsAddressEcho(const QByteArray& reply, int nAddress);

    // The four identification fields by position: characters 0-2, 4-18, 20-26
    // and 28-30. A short reply gives shorter or empty fields.
    static QList<QByteArray> IdentificationFields(const QByteArray& reply);
    // The identification text as kept: the reply, cut to its bound.
    static QByteArray IdentificationText(const QByteArray& reply);
    // Fields 2 and 3 for writing back: the texts between the first and second
    // and between the second and third comma. Without a third comma, field 3
    // runs to the end of the text, its CR LF dropped. Fewer than two commas:
    // false, there is nothing to write. Both are cut to what the page edits.
    static bool SplitForWrite(const QByteArray& text, QByteArray& field2, QByteArray& field3);
};
