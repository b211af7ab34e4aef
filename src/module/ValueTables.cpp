#include "module/ValueTables.h"

namespace {

QStringList Texts(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* psz : texts)
        list.append(QString::fromUtf8(psz));
    return list;
}

} // namespace

const QStringList& CValueTables::Entries(List list)
{
    static const QStringList kFilterMode = Texts({"标准滤波", "低通滤波"});
    static const QStringList kDigitalFilter =
        Texts({"20Hz", "8Hz", "3Hz", "1.5Hz", "0.7Hz", "0.3Hz", "0.2Hz", "0.1Hz", "0.05Hz"});
    static const QStringList kOutputRate =
        Texts({"1200", "800", "600", "480", "400", "300", "240", "200", "160", "120", "100",
               "96",   "80",  "60",  "40",  "30",  "24",  "20",  "10",  "8",   "4"});
    static const QStringList kZeroTrackRange = Texts({"OFF", "0.5d", "1.0d", "2.0d", "3.0d"});
    static const QStringList kZeroTrackSpeed =
        Texts({"0.5d/2s", "0.5d/s", "1.0d/s", "1.5d/s", "2.0d/s", "3.0d/s", "4.0d/s", "6.0d/s"});
    static const QStringList kPowerOnZero =
        Texts({"OFF", "+/-2%Max", "+/-5%Max", "+/-10%Max", "+/-20%Max"});
    static const QStringList kOnOff = Texts({"OFF", "ON"});
    static const QStringList kGain =
        Texts({"1倍", "2倍", "4倍", "8倍", "16倍", "32倍", "64倍", "128倍"});
    static const QStringList kLinearPoints = Texts({"4", "5", "6", "7", "8"});
    static const QStringList kUnit = Texts({"g", "Kg", "T", "lb", "N"});
    static const QStringList kDisplayDivision = Texts({"1", "2", "5", "10", "20", "50", "100"});
    static const QStringList kDecimalPoint =
        Texts({"xxxxxxx.", "xxxxxx.x", "xxxxx.xx", "xxxx.xxx", "xxx.xxxx", "xx.xxxxx", "x.xxxxxx"});
    switch (list) {
    case List::FilterMode:
        return kFilterMode;
    case List::DigitalFilter:
        return kDigitalFilter;
    case List::OutputRate:
        return kOutputRate;
    case List::ZeroTrackRange:
        return kZeroTrackRange;
    case List::ZeroTrackSpeed:
        return kZeroTrackSpeed;
    case List::PowerOnZero:
        return kPowerOnZero;
    case List::OnOff:
        return kOnOff;
    case List::Gain:
        return kGain;
    case List::LinearPoints:
        return kLinearPoints;
    case List::Unit:
        return kUnit;
    case List::DisplayDivision:
        return kDisplayDivision;
    case List::DecimalPoint:
        break;
    }
    return kDecimalPoint;
}

int CValueTables::ArgumentAt(List list, int nPosition)
{
    const QStringList& entries = Entries(list);
    if (nPosition < 0 || nPosition >= entries.size())
        return -1;
    switch (list) {
    case List::OutputRate:
        return entries[nPosition].toInt();
    case List::LinearPoints:
        return nPosition + 4;
    default:
        return nPosition;
    }
}

int CValueTables::PositionOf(List list, int nArgument)
{
    const int nCount = static_cast<int>(Entries(list).size());
    for (int i = 0; i < nCount; ++i)
        if (ArgumentAt(list, i) == nArgument)
            return i;
    return -1;
}
