#include "terminal/vbs/ScriptText.h"

#include "module/GbkCodec.h"

#include <QStringDecoder>

QString CScriptText::Decode(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString strText = decoder.decode(bytes);
    if (!decoder.hasError())
        return strText;
    return CGbkCodec::Decode(bytes);
}
