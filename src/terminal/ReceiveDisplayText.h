#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Turns the receive text into what the receive box shows: GBK decoded with
// one stateful decoder (a character split across blocks shows whole, invalid
// bytes as the replacement mark), CR LF and lone CR as one line break, a zero
// byte as a visible mark instead of an end, and no line longer than
// kMaxLineChars (a longer one is broken for display only).
class CReceiveDisplayText
{
public:
    static constexpr qsizetype kMaxLineChars = 3072; // a multiple of a hex piece
    static constexpr char16_t kZeroMark = u'\u2400';

    CReceiveDisplayText();

    // Forgets the decoder state and the current line (box emptied or rebuilt).
    void Reset();
    // Display text for pieces appended to the receive text.
    QString Convert(const QByteArray& pieces, bool bHex);
    // Resets, then the display text of the newest part of the whole receive
    // text, at most nMaxBytes of it, starting at a line or piece boundary.
    QString Rebuild(const QByteArray& receiveText, bool bHex, qsizetype nMaxBytes);

private:
    QStringDecoder m_decoder;
    qsizetype m_nLineLen = 0;
    bool m_bAfterCr = false;
};
