#pragma once

#include "settings/ComSettings.h"
#include "settings/ParamsManager.h"
#include "settings/PlotSettings.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"
#include "uikit/PageContext.h"

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>

class CBusLink;
class CTabSheet;
class CTabPage;
class CParamSettingsDialog;
class C32DisplayDialog;
class CPlotDisplayDialog;
class CHistoryDialog;
class CRemoteDialog;
class CComAssistDialog;
class CHistoryCoefDialog;
class QAction;
class QPainter;
class QPrinter;

// The hub of the tool: owns the bus link, the tab sheet with the six pages, the
// stored settings and the page background; carries out the view's menu
// commands. Pages reach it only as their CPageContext.
class CTolvexView : public QWidget, public CPageContext
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

    explicit CTolvexView(const QString& strSettingsFile = CParamsManager::DefaultSettingsFile(),
                         QWidget* parent = nullptr);
    ~CTolvexView() override;

    CTolvexView(const CTolvexView&) = delete;
    CTolvexView& operator=(const CTolvexView&) = delete;

    // Runs on every new document; only the first one reads the settings,
    // creates the pages and sets the background.
    void OnInitialUpdate();
    // Demo mode: the COM number in use once the settings are read is served by
    // this device for this run; nothing of it is stored. Before the first update.
    void SetSimulatedDevice(const QString& strDevice);
    // The device COM<nPort> opens: the simulated one, else the stored map.
    QString DeviceFor(int nPort) const;

    // CPageContext
    CBusLink& BusLink() override { return *m_pBusLink; }
    PlotSettings GetPlotSettings() const override { return m_plotSettings; }
    QBrush BackgroundBrush() const override { return m_brBackground; }
    QString ProgramDirectory() const override;

    // Hands m_brBackground to the menus, the pages and the tab sheet.
    void ApplyBackground();
    void SetBackgroundColor(quint32 crBackground);
    static QColor ColorFromRef(quint32 cr);
    static quint32 RefFromColor(const QColor& color);

    // Menu commands.
    void OnBackgroundColor();
    void OnDefaultBackgroundColor();
    void OnComSettings();
    void OnCurveParams();
    void OnImportParams();
    void OnExportParams();
    void OnSaveCurveData();
    // Before the menu holding the item shows.
    void UpdateSaveCurveDataItem(QAction* pAction) const;

    // Draws the shown page onto the printer's page, scaled to fit.
    bool PrintCurrentPage(QPrinter* pPrinter);
    void RenderCurrentPage(QPainter& painter, const QRect& rcTarget);

    // Before the window goes: every page stops and joins its worker.
    void StopWorkers();

    CTabSheet* TabSheet() const { return m_pTabSheet.get(); }
    CTabPage* Page(int nTab) const;
    CParamSettingsDialog* ParamPage() const { return m_pParamPage.get(); }
    CPlotDisplayDialog* PlotPage() const { return m_pPlotPage.get(); }
    CHistoryDialog* HistoryPage() const { return m_pHistoryPage.get(); }
    CHistoryCoefDialog* HistoryCoefDialog() const { return m_pHistoryCoefDialog.get(); }
    bool IsReady() const { return m_bReady; }
    const CSettingsStore& SettingsStore() const { return m_settingsStore; }
    const CPortMap& PortMap() const { return m_portMap; }

protected:
    // Pane 0 of the main window's status bar.
    void DoSetStatusText(const QString& strText) override;
    void DoShowMessage(const QString& strText) override;

private:
    void ApplyPlotRanges();

    // Declared first so it goes last: the pages are gone before the I/O thread stops.
    std::unique_ptr<CBusLink> m_pBusLink;

public:
    // The port settings live in the link.
    ComSettings& m_comSettings;
    PlotSettings m_plotSettings;
    quint32 m_crBackground = kDefaultBackground;
    QBrush m_brBackground;

private:
    std::unique_ptr<CTabSheet> m_pTabSheet;
    std::unique_ptr<CParamSettingsDialog> m_pParamPage;
    std::unique_ptr<C32DisplayDialog> m_pMultiPage;
    std::unique_ptr<CPlotDisplayDialog> m_pPlotPage;
    std::unique_ptr<CHistoryDialog> m_pHistoryPage;
    std::unique_ptr<CRemoteDialog> m_pRemotePage;
    std::unique_ptr<CComAssistDialog> m_pTerminalPage;
    CSettingsStore m_settingsStore;
    CPortMap m_portMap;
    std::unique_ptr<CHistoryCoefDialog> m_pHistoryCoefDialog;
    bool m_bFirstUpdate = true;
    bool m_bReady = false;
    QString m_strSimDevice;
    int m_nSimPort = 0;
};
