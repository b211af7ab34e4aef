#include "uikit/WBButton.h"

#include "uikit/MemDC.h"

#include <QPaintEvent>
#include <QPainter>

CWBButton::CWBButton(QWidget* parent) : CWBButton(QString(), parent) {}

CWBButton::CWBButton(const QString& strText, QWidget* parent)
    : QPushButton(strText, parent), m_pFont(std::make_unique<CAutoFont>(QString::fromUtf8("宋体")))
{
    // The face is composed whole; nothing is erased before it is drawn.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CWBButton::~CWBButton() = default;

QString CWBButton::BitmapPath(int nBitmap)
{
    return QStringLiteral(":/images/skin%1.png").arg(nBitmap);
}

bool CWBButton::LoadStandardSkin()
{
    return LoadBitmaps(kSkinBitmap, kSkinSlices, 5, 5, 5, 4);
}

bool CWBButton::LoadBitmaps(int nBitmap, int nSlices, int nTop, int nBottom, int nLeft, int nRight)
{
    m_nBitmap = nBitmap;
    m_nSlices = nSlices;
    m_nTop = nTop;
    m_nBottom = nBottom;
    m_nLeft = nLeft;
    m_nRight = nRight;
    QImage strip(BitmapPath(nBitmap));
    if (strip.isNull() || nSlices <= 0)
        return false;
    // Key-coloured pixels become transparent, so the face colour shows there.
    strip = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = m_crTransparent.rgb();
    for (int y = 0; y < strip.height(); ++y) {
        auto* pLine = reinterpret_cast<QRgb*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x)
            if ((pLine[x] | 0xFF000000u) == key)
                pLine[x] = 0;
    }
    const bool bBuilt = BuildStateBitmap(strip, m_normal, 0, nSlices) &&
                        BuildStateBitmap(strip, m_pressed, 1, nSlices) &&
                        BuildStateBitmap(strip, m_disabled, 2, nSlices) &&
                        BuildStateBitmap(strip, m_focus, 3, nSlices);
    update();
    return bBuilt;
}

bool CWBButton::BuildStateBitmap(const QImage& strip, QImage& target, int nSlice, int nSlices)
{
    const int w = strip.width() / nSlices;
    const int h = strip.height();
    const int x0 = nSlice * w;
    const int W = qMax(1, width());
    const int H = qMax(1, height());
    const int T = m_nTop, B = m_nBottom, L = m_nLeft, R = m_nRight;
    if (x0 + w > strip.width() || L + R > w || T + B > h)
        return false;

    target = QImage(W, H, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    auto copy = [&](int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
        if (dw > 0 && dh > 0 && sw > 0 && sh > 0)
            painter.drawImage(QRect(dx, dy, dw, dh), strip, QRect(sx, sy, sw, sh));
    };
    // Corners unscaled.
    copy(0, 0, L, T, x0, 0, L, T);
    copy(0, H - B, L, B, x0, h - B, L, B);
    copy(W - R, 0, R, T, x0 + w - R, 0, R, T);
    copy(W - R, H - B, R, B, x0 + w - R, h - B, R, B);
    // Centre and edges stretched.
    copy(L, T, W - L - R, H - T - B, x0 + L, T, w - L - R, h - T - B);
    copy(L, 0, W - L - R, T, x0 + L, 0, w - L - R, T);
    copy(L, H - B, W - L - R, B, x0 + L, h - B, w - L - R, B);
    copy(0, T, L, H - T - B, x0, T, L, h - T - B);
    copy(W - R, T, R, H - T - B, x0 + w - R, T, R, h - T - B);
    m_bReady = true;
    return true;
}

void CWBButton::paintEvent(QPaintEvent*)
{
    QPainter screen(this);
    CMemDC memDC(screen, rect(), palette().color(QPalette::Button));
    QPainter& painter = memDC.Painter();
    QRect label = rect();
    QColor crText = m_pFont->TextColor();
    auto draw = [&](const QImage& face) {
        if (m_bReady && !face.isNull())
            painter.drawImage(0, 0, face);
    };
    if (hasFocus()) {
        draw(m_focus);
        if (isDown()) {
            draw(m_pressed);
            label.setLeft(label.left() + 5);
        }
    } else if (!isEnabled()) {
        draw(m_disabled);
        crText = palette().color(QPalette::Disabled, QPalette::WindowText);
    } else {
        draw(m_normal);
    }
    painter.setFont(*m_pFont);
    painter.setPen(crText);
    painter.drawText(label, Qt::AlignCenter | Qt::TextSingleLine, text());
}
