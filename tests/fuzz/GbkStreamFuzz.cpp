// The terminal's receive text: GBK decoded with one stateful decoder over
// blocks cut at drawn points shows the same as the whole text decoded at
// once; no shown line is longer than the bound, no CR and no zero byte
// reaches the box; what the decoder holds back for a split character is at
// most that one character.
#include "FuzzInput.h"

#include "module/GbkCodec.h"
#include "terminal/ReceiveDisplayText.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    const bool bHex = input.Range(0, 7) == 0;
    QList<qsizetype> cuts(input.Range(0, 15));
    for (qsizetype& nCut : cuts)
        nCut = input.Range(0, 255);
    const QByteArray text = input.Rest();

    CReceiveDisplayText display;
    QStringDecoder decoder = CGbkCodec::MakeDecoder();
    QString strShown;
    QString strDecoded;
    qsizetype nFrom = 0;
    cuts.append(text.size());
    for (const qsizetype nCut : cuts) {
        const QByteArray block = text.mid(nFrom, nCut);
        nFrom += block.size();
        strShown += display.Convert(block, bHex);
        strDecoded += QString(decoder.decode(block));
    }
    FUZZ_CHECK(nFrom == text.size());

    CReceiveDisplayText whole;
    FUZZ_CHECK(strShown == whole.Convert(text, bHex));
    FUZZ_CHECK(!strShown.contains(QLatin1Char('\r')) && !strShown.contains(QChar(0)));
    for (const QStringView line : QStringView(strShown).split(QLatin1Char('\n')))
        FUZZ_CHECK(line.size() <= CReceiveDisplayText::kMaxLineChars);

    const QString strAtOnce = CGbkCodec::Decode(text);
    FUZZ_CHECK(strAtOnce.startsWith(strDecoded));
    FUZZ_CHECK(strAtOnce.size() - strDecoded.size() <= 1);
    return 0;
}
