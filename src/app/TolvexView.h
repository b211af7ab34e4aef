#pragma once

#include "app/ViewActions.h"

#include <QBrush>
#include <QColor>
#include <QString>
#include <QWidget>

#include <memory>

class CSession;
class CWindowContext;
class CPageContext;
class CTabSheet;
class CTabPage;
class CParamSettingsDialog;
class C32DisplayDialog;
class CPlotDisplayDialog;
class CHistoryDialog;
class CRemoteDialog;
class CComAssistDialog;
class CHistoryCoefDialog;
class QPainter;
class QPrinter;

// The window's content: the tab sheet with the six pages over the session,
// the page background, the view's menu commands and printing. It tells the
// frame what to show by signals and knows nothing of it.
class CTolvexView : public QWidget
{
    Q_OBJECT
public:
    static constexpr quint32 kDefaultBackground = 0xFFC0B0;
    static constexpr int kPageCount = 6;
    enum TabIndex
    {
        kTabParams = 0,
        kTabMulti = 1,
        kTabPlot = 2,
        kTabHistory = 3,
        kTabTerminal = 4,
        kTabRemote = 5
    };

    explicit CTolvexView(CSession& session, QWidget* parent = nullptr);
    ~CTolvexView() override;

    CTolvexView(const CTolvexView&) = delete;
    CTolvexView& operator=(const CTolvexView&) = delete;

    // Runs on every new document; only the first one creates the pages and
    // sets the background.
    void OnInitialUpdate();

    const ViewActions& Actions() const { return m_actions; }
    CPageContext& Context() const;

    quint32 BackgroundColor() const { return m_crBackground; }
    QBrush BackgroundBrush() const { return m_brBackground; }
    void SetBackgroundColor(quint32 crBackground);
    static QColor ColorFromRef(quint32 cr);
    static quint32 RefFromColor(const QColor& color);

    // Menu commands.
    void OnOpen();
    void OnBackgroundColor();
    void OnDefaultBackgroundColor();
    void OnComSettings();
    void OnCurveParams();
    void OnImportParams();
    void OnExportParams();
    void OnSaveCurveData();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();
    // F6 / Shift+F6: the focus moves between the tab row and the shown page.
    void OnNextPane();
    // Before the file menu shows.
    void UpdateSaveCurveDataItem();

    // Draws the shown page onto the printer's page, scaled to fit, without a
    // dialog. A PDF is written beside its file and replaces it only whole, so
    // a full disk or an unwritable folder leaves an earlier file as it was.
    // False with the reason in strError.
    bool PrintTo(QPrinter* pPrinter, QString& strError);
    QPrinter* Printer() const { return m_pPrinter.get(); }

    // Before the window goes: every page stops and joins its worker.
    void StopWorkers();

    CTabSheet* TabSheet() const { return m_pTabSheet.get(); }
    CTabPage* Page(int nTab) const;
    CParamSettingsDialog* ParamPage() const { return m_pParamPage.get(); }
    C32DisplayDialog* MultiPage() const { return m_pMultiPage.get(); }
    CPlotDisplayDialog* PlotPage() const { return m_pPlotPage.get(); }
    CHistoryDialog* HistoryPage() const { return m_pHistoryPage.get(); }
    bool IsReady() const { return m_bReady; }

Q_SIGNALS:
    // Pane 0 of the status bar.
    void StatusTextChanged(const QString& strText);
    // The file a page records into; empty when none.
    void RecordingFileChanged(const QString& strFile);
    // The page background changed; the menus follow it.
    void BackgroundChanged(const QColor& color);

private:
    void CreateActions();
    void ApplyBackground();
    void ApplyPlotRanges();
    // A simulated run: the first simulated module is the current one and the
    // patrol covers them all, for this run only.
    void SelectSimulatedModules();
    void RenderCurrentPage(QPainter& painter, const QRect& rcTarget);
    // Paints the shown page onto pPrinter; false with the reason in strError.
    bool Render(QPrinter* pPrinter, QString& strError);

    CSession& m_session;
    // Made before the pages and gone after them.
    std::unique_ptr<CWindowContext> m_pContext;
    std::unique_ptr<CTabSheet> m_pTabSheet;
    std::unique_ptr<CParamSettingsDialog> m_pParamPage;
    std::unique_ptr<C32DisplayDialog> m_pMultiPage;
    std::unique_ptr<CPlotDisplayDialog> m_pPlotPage;
    std::unique_ptr<CHistoryDialog> m_pHistoryPage;
    std::unique_ptr<CRemoteDialog> m_pRemotePage;
    std::unique_ptr<CComAssistDialog> m_pTerminalPage;
    std::unique_ptr<CHistoryCoefDialog> m_pHistoryCoefDialog;
    // Page set-up and print share one printer, so the set-up holds for the next print.
    std::unique_ptr<QPrinter> m_pPrinter;
    ViewActions m_actions;
    quint32 m_crBackground = kDefaultBackground;
    QBrush m_brBackground;
    bool m_bFirstUpdate = true;
    bool m_bReady = false;
};
