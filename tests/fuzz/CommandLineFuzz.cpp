// tolvex-cli's command line and the address lists of --simulate and
// tolvex-sim --modules: arguments split at zero bytes. A usage error always
// says why; what is accepted lies in its ranges; an address list or a
// number is accepted exactly when a plain reading of it accepts it, and an
// accepted list written back reads the same.
#include "FuzzInput.h"

#include "cli/CliOptions.h"
#include "module/AddressList.h"

#include <QStringList>

#include <algorithm>

namespace {

bool IsDigits(QStringView str)
{
    return !str.isEmpty() &&
           std::all_of(str.begin(), str.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Digits as a number, or -1 past nMax.
qint64 DigitsValue(QStringView str, qint64 nMax)
{
    qint64 n = 0;
    for (const QChar c : str) {
        n = n * 10 + (c.unicode() - u'0');
        if (n > nMax)
            return -1;
    }
    return n;
}

void CheckAddressList(const QString& strList)
{
    bool bExpected = true;
    QList<int> arrExpected;
    for (const QString& strItem : strList.split(u',')) {
        const QString strTrimmed = strItem.trimmed();
        const qint64 n =
            IsDigits(strTrimmed) ? DigitsValue(strTrimmed, CAddressList::kMaxAddress) : -1;
        bExpected = bExpected && n >= 0 && !arrExpected.contains(int(n));
        arrExpected.append(int(n));
    }
    QList<int> arrAddresses{-7};
    const bool bParsed = CAddressList::Parse(strList, arrAddresses);
    FUZZ_CHECK(bParsed == bExpected);
    if (!bParsed) {
        FUZZ_CHECK(arrAddresses == QList<int>{-7});
        return;
    }
    FUZZ_CHECK(arrAddresses == arrExpected);
    QStringList arrText;
    for (const int n : arrAddresses)
        arrText.append(QString::number(n));
    QList<int> arrAgain;
    FUZZ_CHECK(CAddressList::Parse(arrText.join(u','), arrAgain) && arrAgain == arrAddresses);
}

void CheckParseInt(const QString& strText, int nMin, int nMax)
{
    const bool bNegative = strText.startsWith(u'-');
    const QStringView digits = QStringView(strText).mid(bNegative ? 1 : 0);
    qint64 nExpected = IsDigits(digits) ? DigitsValue(digits, qint64(1) << 40) : -1;
    bool bExpected = nExpected >= 0;
    nExpected = bNegative ? -nExpected : nExpected;
    bExpected = bExpected && nExpected >= nMin && nExpected <= nMax;
    int nValue = 12345;
    const bool bParsed = ParseInt(strText, nMin, nMax, nValue);
    FUZZ_CHECK(bParsed == bExpected);
    FUZZ_CHECK(nValue == (bParsed ? nExpected : 12345));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    QStringList arrArgs;
    for (const QByteArray& arg : input.Rest().split('\0'))
        arrArgs.append(QString::fromUtf8(arg));

    CliOptions options;
    QString strError;
    const bool bParsed = options.Parse(arrArgs, strError);
    FUZZ_CHECK(bParsed == strError.isEmpty());
    if (bParsed) {
        FUZZ_CHECK(!options.m_nBaud || (*options.m_nBaud >= 1 && *options.m_nBaud <= 4000000));
        FUZZ_CHECK(!options.m_nDataBits ||
                   (*options.m_nDataBits >= 6 && *options.m_nDataBits <= 8));
        FUZZ_CHECK(!options.m_nStopBits ||
                   (*options.m_nStopBits >= 1 && *options.m_nStopBits <= 2));
        FUZZ_CHECK(!options.m_cParity || QByteArray("NOE").contains(*options.m_cParity));
        if (options.m_source == CliOptions::PortSource::ComNumber)
            FUZZ_CHECK(options.m_nCom >= 1 && options.m_nCom <= 256);
        if (options.m_source == CliOptions::PortSource::Device)
            FUZZ_CHECK(!options.m_strDevice.isEmpty());
        for (const int nAddress : options.m_arrSimAddresses)
            FUZZ_CHECK(nAddress >= 0 && nAddress <= CAddressList::kMaxAddress);
        if (!options.m_strCommand.isEmpty()) {
            FUZZ_CHECK(arrArgs.size() > options.m_arrArguments.size());
            FUZZ_CHECK(arrArgs.mid(arrArgs.size() - options.m_arrArguments.size()) ==
                       options.m_arrArguments);
            FUZZ_CHECK(arrArgs[arrArgs.size() - options.m_arrArguments.size() - 1] ==
                       options.m_strCommand);
        }
    }

    for (const QString& strArg : arrArgs) {
        CheckAddressList(strArg);
        CheckParseInt(strArg, -1000, 4000000);
        CheckParseInt(strArg, INT_MIN, INT_MAX);
    }

    CCommandArgs args(arrArgs);
    args.TakeFlag(QStringLiteral("--all"));
    int nValue = 7;
    if (args.TakeInt({QStringLiteral("--count"), QStringLiteral("-n")}, -5, 500, nValue, strError))
        FUZZ_CHECK(nValue >= -5 && nValue <= 500);
    QStringList arrValues;
    if (args.TakePositional(-1, arrValues, strError))
        FUZZ_CHECK(arrValues.size() <= arrArgs.size());
    return 0;
}
