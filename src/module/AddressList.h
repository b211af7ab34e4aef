#pragma once

#include <QList>
#include <QString>

// A list of module addresses as a user types it: "1,3,17". The window's and
// tolvex-cli's --simulate and tolvex-sim's --modules all read it here.
class CAddressList
{
public:
    static constexpr int kMaxAddress = 99;

    // Decimal addresses 0..99, comma separated, blanks around them allowed,
    // each at most once. False for an empty list or anything else; the list
    // given is then left as it was.
    static bool Parse(const QString& strList, QList<int>& arrAddresses);
};
