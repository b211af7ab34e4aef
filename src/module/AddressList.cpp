#include "module/AddressList.h"

#include <algorithm>

bool CAddressList::Parse(const QString& strList, QList<int>& arrAddresses)
{
    QList<int> arrParsed;
    for (const QString& strItem : strList.split(QLatin1Char(','))) {
        const QString strTrimmed = strItem.trimmed();
        // toInt would take a sign; an address is digits only.
        if (strTrimmed.isEmpty() || !std::all_of(strTrimmed.begin(), strTrimmed.end(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            }))
            return false;
        bool bOk = false;
        const int nAddress = strTrimmed.toInt(&bOk);
        if (!bOk || nAddress > kMaxAddress || arrParsed.contains(nAddress))
            return false;
        arrParsed.append(nAddress);
    }
    arrAddresses = arrParsed;
    return true;
}
