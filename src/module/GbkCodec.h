#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

// Code page 936 (GBK) at the edge: the module's identification text, the text
// files the tool writes, the terminal's character display. Invalid bytes
// decode as the replacement character.
class CGbkCodec
{
public:
    static QByteArray Encode(const QString& strText);
    static QString Decode(const QByteArray& bytes);
    // True when every character of strText has a GBK form.
    static bool CanEncode(const QString& strText);
    // A decoder that keeps a character split across blocks whole: feed it the
    // blocks in order.
    static QStringDecoder MakeDecoder();
};
