#pragma once

#include <QObject>

// Qt's file dialogs open wide enough for their columns in Chinese: size,
// type and date are as wide as their contents, the name takes the rest.
class CDialogSizer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMinWidth = 900;
    static constexpr int kMinHeight = 540;

    using QObject::QObject;

protected:
    bool eventFilter(QObject* pWatched, QEvent* event) override;
};
