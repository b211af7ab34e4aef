#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

// An off-screen surface: drawing goes into an image the size of the rectangle,
// filled with the background colour, and the destructor copies it to the
// target in one step, so nothing flickers.
class CMemDC
{
public:
    CMemDC(QPainter& target, const QRect& rect, const QColor& crBackground);
    ~CMemDC();

    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // Paints in the rectangle's own coordinates (its top left is 0, 0).
    QPainter& Painter() { return m_painter; }
    QImage& Image() { return m_image; }

private:
    QPainter& m_target;
    QRect m_rect;
    QImage m_image;
    QPainter m_painter;
};
