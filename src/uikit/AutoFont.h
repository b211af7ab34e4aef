#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// A font made from a face name with fixed settings (12 pixel characters,
// normal weight, variable-pitch serif hint), carrying the colour its users
// draw text in.
class CAutoFont : public QFont
{
public:
    static constexpr int kMaxFaceLen = 31;

    explicit CAutoFont(const QString& strFace);

    QColor TextColor() const { return m_crText; }

    QColor m_crText{Qt::black};
};
