// "Comassist.dat", the terminal's send text, from drawn bytes: the loaded
// text has '\n' line breaks only; saved, every line ends in CR LF on disk;
// loading what was saved gives the text back whenever the text can be
// written in GBK, and a second save and load changes nothing.
#include "FuzzInput.h"
#include "FuzzScratch.h"

#include "module/GbkCodec.h"
#include "terminal/SendTextFile.h"

namespace {

QString SavedAndLoaded(CSendTextFile& sendFile, const QString& strText)
{
    FUZZ_CHECK(sendFile.Save(strText));
    QString strLoaded;
    FUZZ_CHECK(sendFile.Load(strLoaded));
    return strLoaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QByteArray bytes(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    CSendTextFile sendFile(FuzzScratchDir().path());
    QFile file(sendFile.Path());
    FUZZ_CHECK(WriteWholeFile(file, bytes));
    file.close();

    QString strText;
    FUZZ_CHECK(sendFile.Load(strText));
    FUZZ_CHECK(!strText.contains(u'\r'));

    const QByteArray saved = CSendTextFile::ToFileBytes(strText);
    FUZZ_CHECK(saved.count('\n') == saved.count("\r\n") && saved.count('\r') == saved.count('\n'));

    const QString strOnce = SavedAndLoaded(sendFile, strText);
    if (CGbkCodec::CanEncode(strText))
        FUZZ_CHECK(strOnce == strText);
    FUZZ_CHECK(SavedAndLoaded(sendFile, strOnce) == strOnce);
    return 0;
}
