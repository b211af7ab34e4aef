#pragma once

#include "uikit/AutoFont.h"

#include <QImage>
#include <QPushButton>

#include <memory>

// A push button whose face is cut from a skin strip and stretched to the
// button with fixed margins (nine-slice), key-coloured pixels showing the
// button face behind them, and labelled in its own font.
class CWBButton : public QPushButton
{
    Q_OBJECT
public:
    // The skin strip every page uses: five slices, margins 5, 5, 5, 4.
    static constexpr int kSkinBitmap = 141;
    static constexpr int kSkinSlices = 5;

    explicit CWBButton(QWidget* parent = nullptr);
    explicit CWBButton(const QString& strText, QWidget* parent = nullptr);
    ~CWBButton() override;

    // Loads the strip and builds the state faces at the button's present size
    // (they are not rebuilt on resize). False when the strip cannot be had.
    bool LoadBitmaps(int nBitmap, int nSlices, int nTop, int nBottom, int nLeft, int nRight);
    // LoadBitmaps with the strip and margins every page uses.
    bool LoadStandardSkin();

    static QString BitmapPath(int nBitmap);

    bool IsReady() const { return m_bReady; }
    QColor m_crTransparent{255, 0, 255};
    std::unique_ptr<CAutoFont> m_pFont;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool BuildStateBitmap(const QImage& strip, QImage& target, int nSlice, int nSlices);

    QImage m_normal;
    QImage m_pressed;
    QImage m_focus;
    QImage m_disabled;
    bool m_bReady = false;
    int m_nBitmap = 0;
    int m_nSlices = 0;
    int m_nTop = 8;
    int m_nBottom = 8;
    int m_nLeft = 8;
    int m_nRight = 17;
};
