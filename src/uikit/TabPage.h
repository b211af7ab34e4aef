#pragma once

#include "uikit/PageContext.h"

#include <QBrush>
#include <QHideEvent>
#include <QPalette>
#include <QShowEvent>
#include <QWidget>

// Base of the pages of the tab sheet. A page reaches the window only through
// its context, paints its background with the context's brush, and hears
// when the tab sheet shows or hides it: bus work starts on show and stops on hide.
class CTabPage : public QWidget
{
    Q_OBJECT
public:
    explicit CTabPage(CPageContext& context, QWidget* parent = nullptr)
        : QWidget(parent), m_context(context)
    {
        setAutoFillBackground(true);
    }

    CPageContext& Context() const { return m_context; }

    void SetBackgroundBrush(const QBrush& brBackground)
    {
        m_brBackground = brBackground;
        QPalette palette = this->palette();
        palette.setBrush(QPalette::Window, brBackground);
        setPalette(palette);
    }
    QBrush BackgroundBrush() const { return m_brBackground; }

    // Called by the view when the window closes, before any page is destroyed:
    // a page with a worker stops it and joins it here.
    virtual void StopWorker() {}

protected:
    virtual void OnPageShown() {}
    virtual void OnPageHidden() {}

    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        if (!event->spontaneous())
            OnPageShown();
    }
    void hideEvent(QHideEvent* event) override
    {
        QWidget::hideEvent(event);
        if (!event->spontaneous())
            OnPageHidden();
    }

    CPageContext& m_context;
    QBrush m_brBackground;
};
