#include "module/GbkCodec.h"

namespace {
constexpr const char* kName = "GBK";
}

QByteArray CGbkCodec::Encode(const QString& strText)
{
    QStringEncoder encoder(kName);
    QByteArray bytes = encoder.encode(strText);
    return bytes;
}

QString CGbkCodec::Decode(const QByteArray& bytes)
{
    QStringDecoder decoder(kName);
    QString strText = decoder.decode(bytes);
    return strText;
}

bool CGbkCodec::CanEncode(const QString& strText)
{
    QStringEncoder encoder(kName, QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(strText);
    return !encoder.hasError() && Decode(bytes) == strText;
}

QStringDecoder CGbkCodec::MakeDecoder()
{
    return QStringDecoder(kName);
}
