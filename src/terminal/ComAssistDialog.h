#pragma once

#include "terminal/ReceiveDisplayText.h"
#include "terminal/ScriptRun.h"
#include "terminal/TerminalPort.h"
#include "uikit/TabPage.h"

#include <QString>

#include <memory>

class CSendTextFile;
class CTerminalInbox;
class QTimer;

namespace Ui {
class ComAssistDialog;
}

// The serial terminal page: the bus port driven directly. Whatever arrives
// while the page is shown goes to its receive box (as text or hexadecimal);
// the send area goes out as GBK text or parsed hexadecimal, by button, key or
// timer; counters, speed and timed archives of the receive text.
class CComAssistDialog : public CTabPage
{
    Q_OBJECT
public:
    // The receive box shows at most this much of the newest receive text.
    static constexpr qsizetype kMaxDisplayChars = 1 << 20;
    // The box is appended to at most 25 times a second.
    static constexpr int kDisplayIntervalMs = 40;
    // Edits of the send area are saved together, a few times a second.
    static constexpr int kSaveDelayMs = 300;
    static constexpr unsigned kMaxSendInterval = 600000;
    static constexpr unsigned kMinArchiveInterval = 10000;
    static constexpr unsigned kMaxArchiveInterval = 3600000;

    explicit CComAssistDialog(CPageContext& context, QWidget* parent = nullptr);
    ~CComAssistDialog() override;

    // The folder of "Comassist.dat" and of the archives, the current
    // directory by default. Setting it loads the send text kept there.
    void SetWorkingDirectory(const QString& strDir);
    QString ArchiveDirectory() const { return m_strArchiveDir; }

    // A received block, on the UI thread: log, text and counters at once,
    // the box soon after.
    void OnTerminalReceive(const QByteArray& block);
    // Writes through the link (any thread); counted also when the port is closed.
    void SendTextData(const QByteArray& text) { m_port.SendTextData(text); }
    void SendByteData(const QByteArray& bytes) { m_port.SendByteData(bytes); }
    const CTerminalPort& Port() const { return m_port; }

    void StartTerminal();
    void StopTerminalTimers();
    void SendNow();
    void ClearReceive();
    void ArchiveReceive();

    // The script group ("执行脚本" and the language radios), hidden unless asked for.
    void SetScriptControlsShown(bool bShown);
    const CScriptRun& ScriptRun() const { return *m_pScriptRun; }

    // Stops and joins a script run and saves a pending edit of the send area
    // before the page goes.
    void StopWorker() override;

protected:
    void OnPageShown() override;
    void OnPageHidden() override;
    bool eventFilter(QObject* pWatched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool ReadControls();
    void WriteControls();
    bool ReadInterval(const QString& strText, unsigned nMin, unsigned nMax, unsigned& nValue);
    void SetTimerChecksEnabled(bool bEnabled);
    void ShowPageMessage(const QString& strText);

    void SendSendArea(bool bFromTimer);
    void SetDisplayMode(bool bHex);
    void AppendToBox();
    // A character typed into the receive box, shown after the received text.
    void EchoTyped(const QString& strText);
    void ClearBox();
    void ArchiveNow(bool bReportOnce);
    void LoadSendText();
    void SaveSendText();
    void OnSendTextEdited();
    void OnSendIntervalEdited();
    void OnArchiveIntervalEdited();
    void OnTimedSendClicked();
    void OnTimedArchiveClicked();
    void OnStatisticsClicked();
    void OnClearSendClicked();
    void OnSendTick();
    void OnArchiveTick();
    void OnCountTick();
    void OnSpeedTick();
    void OnPortLost();
    void OnPortReconnected();
    void OnRunScriptClicked();
    void OnScriptEnded(CScriptRun::Outcome outcome, const QString& strReport);

    std::unique_ptr<Ui::ComAssistDialog> m_pUi;
    CTerminalPort m_port;
    CReceiveDisplayText m_display;
    std::shared_ptr<CTerminalInbox> m_pInbox;
    std::unique_ptr<CSendTextFile> m_pSendFile;

    QTimer* m_pSendTimer;    // 1: timed sending
    QTimer* m_pArchiveTimer; // 2: timed archiving
    QTimer* m_pCountTimer;   // 3: counters, 500 ms
    QTimer* m_pSpeedTimer;   // 4: speed, 1000 ms
    QTimer* m_pDisplayTimer; // appends m_strPendingDisplay to the box
    QTimer* m_pSaveTimer;    // saves the send text after edits

    // Fields behind the controls.
    bool m_bTimedSend = false;
    bool m_bTimedArchive = false;
    bool m_bStatistics = true;
    bool m_bHexSend = false;
    unsigned m_nSendInterval = 50;
    unsigned m_nArchiveInterval = kMinArchiveInterval;
    int m_nScriptLanguage = 0;
    int m_nSendKeyMode = 0;
    QString m_strSpeedText;
    QString m_strArchiveDir;

    QString m_strPendingDisplay;
    bool m_bSettingSendText = false;
    bool m_bSaveFailureShown = false;
    bool m_bArchiveFailureShown = false;
    bool m_bMessageOpen = false;
    QString m_strLastHexReport;

    // Last: its thread writes through m_port and ends before the page's fields go.
    std::unique_ptr<CScriptRun> m_pScriptRun;
};
