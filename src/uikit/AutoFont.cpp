#include "uikit/AutoFont.h"

CAutoFont::CAutoFont(const QString& strFace)
{
    // A missing face falls back through the style hint to an installed family
    // (with CJK glyphs where the system has them).
    setFamily(strFace.left(kMaxFaceLen));
    setStyleHint(QFont::Serif, QFont::PreferQuality);
    setPixelSize(12);
    setWeight(QFont::Normal);
    setItalic(false);
    setUnderline(false);
    setStrikeOut(false);
    setFixedPitch(false);
}
