#include "terminal/ReceiveDisplayText.h"

#include "module/GbkCodec.h"

CReceiveDisplayText::CReceiveDisplayText() : m_decoder(CGbkCodec::MakeDecoder()) {}

void CReceiveDisplayText::Reset()
{
    m_decoder = CGbkCodec::MakeDecoder();
    m_nLineLen = 0;
    m_bAfterCr = false;
}

QString CReceiveDisplayText::Convert(const QByteArray& pieces, bool bHex)
{
    const QString strDecoded =
        bHex ? QString::fromLatin1(pieces) : QString(m_decoder.decode(pieces));
    QString strOut;
    strOut.reserve(strDecoded.size() + strDecoded.size() / kMaxLineChars + 1);
    for (const QChar c : strDecoded) {
        if (c == QLatin1Char('\n') && m_bAfterCr) {
            m_bAfterCr = false;
            continue;
        }
        m_bAfterCr = c == QLatin1Char('\r');
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            strOut.append(QLatin1Char('\n'));
            m_nLineLen = 0;
            continue;
        }
        strOut.append(c.unicode() == 0 ? QChar(kZeroMark) : c);
        if (++m_nLineLen >= kMaxLineChars) {
            strOut.append(QLatin1Char('\n'));
            m_nLineLen = 0;
        }
    }
    return strOut;
}

QString CReceiveDisplayText::Rebuild(const QByteArray& receiveText, bool bHex, qsizetype nMaxBytes)
{
    Reset();
    qsizetype nStart = 0;
    if (receiveText.size() > nMaxBytes) {
        nStart = receiveText.size() - nMaxBytes;
        if (bHex) {
            nStart += (3 - nStart % 3) % 3;
        } else {
            const qsizetype nBreak = receiveText.indexOf('\n', nStart);
            if (nBreak >= 0)
                nStart = nBreak + 1;
        }
    }
    return Convert(receiveText.mid(nStart), bHex);
}
