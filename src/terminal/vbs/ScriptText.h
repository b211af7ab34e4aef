#pragma once

#include <QByteArray>
#include <QString>

// The text of a script file: UTF-8 when the bytes decode as UTF-8 (a byte
// order mark is skipped), else code page 936.
class CScriptText
{
public:
    static QString Decode(const QByteArray& bytes);
};
