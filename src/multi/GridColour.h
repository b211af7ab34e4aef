#pragma once

#include <QColor>

// Colours kept as 0x00BBGGRR and the QColor the widgets take.
class CGridColour
{
public:
    static QColor ColorFromRef(quint32 cr)
    {
        return QColor(int(cr & 0xFF), int((cr >> 8) & 0xFF), int((cr >> 16) & 0xFF));
    }
    static quint32 RefFromColor(const QColor& color)
    {
        return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
    }
};
