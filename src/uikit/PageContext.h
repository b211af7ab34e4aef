#pragma once

#include "link/BusLink.h"
#include "settings/PlotSettings.h"

#include <QBrush>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QWidget;

// What a page may ask of the window that hosts it: the bus link with its port
// operations and transactions, the status bar, the shared words, the curve
// settings, the page background, the program folder and message boxes.
// The main view implements it; page tests implement it over the simulator.
class CPageContext
{
public:
    CPageContext();
    virtual ~CPageContext();

    CPageContext(const CPageContext&) = delete;
    CPageContext& operator=(const CPageContext&) = delete;

    // The one bus link. Port operations from any thread; transactions from
    // worker threads only (see CBusLink).
    virtual CBusLink& BusLink() = 0;

    bool IsPortOpen() { return BusLink().IsPortOpen(); }
    // Opens the port with the stored settings; a failure is reported to the user.
    bool OpenBusPort() { return BusLink().OpenBusPort(); }
    bool ClosePort() { return BusLink().ClosePort(); }
    void SendText(const QByteArray& text) { BusLink().SendText(text); }
    void SendBytes(const QByteArray& bytes) { BusLink().SendBytes(bytes); }
    bool Query(const QByteArray& command, QByteArray& reply, int nExpectedLen, int nTimeoutMs)
    {
        return BusLink().Query(command, reply, nExpectedLen, nTimeoutMs);
    }
    bool Command(const QByteArray& command, int nTimeoutMs, bool bRetry = true)
    {
        return BusLink().Command(command, nTimeoutMs, bRetry);
    }

    // Shared words: the checksum mode and the terminal routing live in the link.
    std::atomic<int>& Checksum() { return BusLink().m_bChecksum; }
    std::atomic<int>& TerminalShown() { return BusLink().m_bTerminalShown; }
    // The address selected on the parameter page.
    std::atomic<int> m_nCurAddress{0};

    // Pane 0 of the status bar. Any thread: off the UI thread it is queued.
    void SetStatusText(const QString& strText);
    // The status bar's field naming the file a page is recording into; empty
    // when none. Any thread, as SetStatusText.
    void SetRecordingFile(const QString& strFile);

    virtual PlotSettings GetPlotSettings() const = 0;
    virtual QBrush BackgroundBrush() const = 0;
    // Where the recording folders lie, with a trailing separator.
    virtual QString ProgramDirectory() const = 0;

    // A modal warning box on the UI thread, owned by the hosting window.
    void ShowMessage(const QString& strText);
    // From a worker thread: shows the box on the UI thread and waits until it
    // is closed, or gives up as soon as bStop is set (so shutdown cannot
    // deadlock). True when the box was closed by the user.
    bool ShowMessageFromWorker(const QString& strText, const std::atomic<bool>& bStop);

protected:
    // Call once the link exists: a port that goes away is told once, in the
    // status bar and in a box, whichever page is shown; its coming back is
    // told in the status bar.
    void ReportPortLoss();

    // These run on the UI thread only.
    virtual void DoSetStatusText(const QString& strText) = 0;
    // A window without the field ignores it.
    virtual void DoSetRecordingFile(const QString& strFile) { Q_UNUSED(strFile); }
    virtual void DoShowMessage(const QString& strText) = 0;

private:
    // Lives on the UI thread; queued calls from workers are delivered through it.
    std::unique_ptr<QObject> m_pUiAnchor;
};
