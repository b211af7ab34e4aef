#include "recording/FreeName.h"

#include <cerrno>

int CFreeName::Claim(const Create& create)
{
    for (int nNumber = 1; nNumber <= kMaxNames; ++nNumber) {
        const int nError = create(nNumber);
        if (nError != EEXIST)
            return nError;
    }
    return EEXIST;
}

QString CFreeName::Suffix(int nNumber)
{
    return nNumber == 1 ? QString() : QStringLiteral("_%1").arg(nNumber);
}
