#pragma once

#include <QByteArray>
#include <QLoggingCategory>

// "tolvex.link": opens with their settings, refused settings, frames sent,
// replies completed and why, stale input dropped, hang-ups and reconnections.
// Off by default; QT_LOGGING_RULES="tolvex.link.debug=true" or tolvex-cli -v
// turn it on.
Q_DECLARE_LOGGING_CATEGORY(lcLink)

// The bytes as text with every byte outside printable ASCII, and the
// backslash, as \xNN: "1\x0D\x0A".
QByteArray EscapedBytes(const QByteArray& bytes);

// Bytes as the log shows them: the text with every byte outside printable
// ASCII as \xNN, then the bytes in hexadecimal: "1\x0D\x0A [31 0D 0A]".
QByteArray LinkLogBytes(const QByteArray& bytes);
