#pragma once

#include <QString>
#include <QtGlobal>

// The page background colour (0x00BBGGRR) in the 4-byte file "Param.sdt".
class CBackgroundColorFile
{
public:
    static constexpr quint32 kDefaultColor = 0xFFC0B0;
    static constexpr const char* kFileName = "Param.sdt";

    // strDir empty: the current working directory.
    static quint32 LoadBackgroundColor(const QString& strDir = QString());
    static bool SaveBackgroundColor(quint32 crColor, const QString& strDir = QString());

    static QString FilePath(const QString& strDir = QString());
};
