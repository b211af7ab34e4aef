#pragma once

#include "uikit/PageContext.h"

#include <QBrush>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class CSession;

// The pages' context in the main window: bus and settings from the session,
// status texts handed on as signals, message boxes over the window.
class CWindowContext : public QObject, public CPageContext
{
    Q_OBJECT
public:
    CWindowContext(CSession& session, QWidget* pBoxParent);
    ~CWindowContext() override;

    CBusLink& BusLink() override;
    PlotSettings GetPlotSettings() const override;
    QBrush BackgroundBrush() const override { return m_brBackground; }
    QString ProgramDirectory() const override;

    void SetBackgroundBrush(const QBrush& brBackground) { m_brBackground = brBackground; }

Q_SIGNALS:
    void StatusTextChanged(const QString& strText);
    void RecordingFileChanged(const QString& strFile);

protected:
    void DoSetStatusText(const QString& strText) override;
    void DoSetRecordingFile(const QString& strFile) override;
    void DoShowMessage(const QString& strText) override;

private:
    CSession& m_session;
    QPointer<QWidget> m_pBoxParent;
    QBrush m_brBackground;
};
