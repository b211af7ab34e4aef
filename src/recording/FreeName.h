#pragma once

#include <QString>

#include <functional>

// The first free name of a series: "NAME.EXT", then "NAME_2.EXT",
// "NAME_3.EXT" … A name is claimed by creating its files exclusively
// (O_EXCL), never by looking first and creating after: two recordings that
// start at once, in this tool or another, never share a name.
class CFreeName
{
public:
    // Taken names tried before giving up.
    static constexpr int kMaxNames = 10000;

    // Creates every file of name number nNumber (1 for the first name, whose
    // suffix is empty) exclusively. Returns 0 when the name is now this
    // caller's, EEXIST when it is taken (anything created for it removed
    // again), or the errno that stops the series.
    using Create = std::function<int(int nNumber)>;

    // Tries the names in order: 0 once one is claimed, the errno that
    // stopped the series, or EEXIST when kMaxNames names were all taken.
    static int Claim(const Create& create);

    // "" for number 1, "_N" after it.
    static QString Suffix(int nNumber);
};
