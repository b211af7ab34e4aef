#pragma once

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

namespace Ui {
class FlyDialog;
}

// The small frameless statistics window of a plot: current, maximum, minimum
// and peak-to-peak of the values fed to it. The texts are redrawn at most once
// per tick: the tick raises the refresh flag, the next value redraws and
// lowers it; the tick runs while the window is shown.
// It is a child of its owner (the page), raised above the plot: it shows and
// hides with the page, whatever the window manager does with the main window.
// It sits at a point of the plot (right of the value labels), keeps the place
// the user drags it to relative to that point, never left of it, and follows
// the plot when it moves or resizes.
class CFlyDialog : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 100;
    static constexpr int kCurves = 3;

    explicit CFlyDialog(QWidget* pOwner);
    ~CFlyDialog() override;

    // The sibling widget, and the point of it, the window keeps its place from.
    void Follow(QWidget* pAnchor, QPoint ptOrigin = QPoint());
    bool IsTicking() const { return m_timer.isActive(); }

    // Any thread. Indices 0..2 keep extremes and may redraw; others only set
    // the current value.
    void UpdateStatistics(int i, float x);

    float Current() const;

public slots:
    // The tick: allows the next value to redraw the texts.
    void OnTimer();

protected:
    bool eventFilter(QObject* pWatched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Reposition();
    void ShowTexts(const QString& strCurrent, const QString& strMax, const QString& strMin,
                   const QString& strPeak);

    std::unique_ptr<Ui::FlyDialog> m_pUi;
    QTimer m_timer;
    mutable std::mutex m_mutex; // guards the values below
    float m_fCurrent = 0.0f;
    float m_fMin[kCurves] = {};
    float m_fMax[kCurves] = {};
    bool m_bFirst[kCurves] = {true, true, true};
    std::atomic<bool> m_bRefresh{true};
    bool m_bDragging = false;
    QPoint m_ptPressGlobal;
    QPoint m_ptStartPos;
    QPointer<QWidget> m_pAnchor;
    QPoint m_ptOrigin; // in the anchor
    QPoint m_ptOffset; // from the origin, never to its left
};
