#include "uikit/MemDC.h"

CMemDC::CMemDC(QPainter& target, const QRect& rect, const QColor& crBackground)
    : m_target(target), m_rect(rect),
      m_image(rect.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied)
{
    m_image.fill(crBackground);
    m_painter.begin(&m_image);
}

CMemDC::~CMemDC()
{
    m_painter.end();
    m_target.drawImage(m_rect.topLeft(), m_image);
}
