#include "app/TolvexView.h"

#include "app/MainFrame.h"
#include "app/TabSheet.h"
#include "curves/HistoryCoefDialog.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "link/BusLink.h"
#include "link/ComSettingDialog.h"
#include "multi/32DisplayDialog.h"
#include "params/ParamSettingsDialog.h"
#include "settings/BackgroundColorFile.h"
#include "terminal/ComAssistDialog.h"
#include "terminal/RemoteDialog.h"
#include "uikit/AppPath.h"

#include <QAction>
#include <QColorDialog>
#include <QCoreApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QThread>
#include <QVBoxLayout>

CTolvexView::CTolvexView(const QString& strSettingsFile, QWidget* parent)
    : QWidget(parent), m_pBusLink(std::make_unique<CBusLink>()),
      m_comSettings(m_pBusLink->m_comSettings), m_pTabSheet(std::make_unique<CTabSheet>(this)),
      m_pParamPage(std::make_unique<CParamSettingsDialog>(*this)),
      m_pMultiPage(std::make_unique<C32DisplayDialog>(*this)),
      m_pPlotPage(std::make_unique<CPlotDisplayDialog>(*this)),
      m_pHistoryPage(std::make_unique<CHistoryDialog>(*this)),
      m_pRemotePage(std::make_unique<CRemoteDialog>(*this)),
      m_pTerminalPage(std::make_unique<CComAssistDialog>(*this)), m_settingsStore(strSettingsFile),
      m_portMap(strSettingsFile), m_pHistoryCoefDialog(std::make_unique<CHistoryCoefDialog>(this))
{
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pTabSheet.get());

    m_pBusLink->SetDeviceResolver([this](int nPort) { return DeviceFor(nPort); });
    m_pBusLink->SetOpenFailureReporter([this](const QString& strMessage) {
        if (QThread::currentThread() == thread())
            DoShowMessage(strMessage);
        else
            QMetaObject::invokeMethod(
                this, [this, strMessage] { DoShowMessage(strMessage); }, Qt::QueuedConnection);
    });
    ReportPortLoss();
}

CTolvexView::~CTolvexView()
{
    StopWorkers();
    m_pBusLink->SetOpenFailureReporter(nullptr);
}

void CTolvexView::OnInitialUpdate()
{
    if (!m_bFirstUpdate)
        return;
    m_bFirstUpdate = false;
    m_bReady = true;

    m_settingsStore.Load(m_comSettings, m_plotSettings);
    if (!m_strSimDevice.isEmpty())
        m_nSimPort = m_comSettings.m_nPort;

    m_pTabSheet->AddTabPage(QStringLiteral("参数设置和标定"), m_pParamPage.get(), 130);
    m_pTabSheet->AddTabPage(QStringLiteral("多路数据显示"), m_pMultiPage.get(), 131);
    m_pTabSheet->AddTabPage(QStringLiteral("实时曲线"), m_pPlotPage.get(), 132);
    m_pTabSheet->AddTabPage(QStringLiteral("历史曲线"), m_pHistoryPage.get(), 140);
    m_pTabSheet->AddTabPage(QStringLiteral("串口调试"), m_pTerminalPage.get(), 133);
    m_pTabSheet->AddTabPage(QStringLiteral("远程监控"), m_pRemotePage.get(), 156);
    m_pTabSheet->CreatePages();

    m_brBackground = QBrush(ColorFromRef(kDefaultBackground));
    ApplyPlotRanges();

    m_crBackground = CBackgroundColorFile::LoadBackgroundColor();
    m_brBackground = QBrush(ColorFromRef(m_crBackground));
    ApplyBackground();
}

void CTolvexView::SetSimulatedDevice(const QString& strDevice)
{
    m_strSimDevice = strDevice;
}

QString CTolvexView::DeviceFor(int nPort) const
{
    if (!m_strSimDevice.isEmpty() && nPort == m_nSimPort)
        return m_strSimDevice;
    return m_portMap.DeviceFor(nPort);
}

void CTolvexView::DoSetStatusText(const QString& strText)
{
    if (auto* pFrame = qobject_cast<CMainFrame*>(window()))
        pFrame->SetMessageText(strText);
}

void CTolvexView::ApplyBackground()
{
    if (auto* pFrame = qobject_cast<CMainFrame*>(window())) {
        // The style ignores a menu's palette, so the colour goes in as a style
        // sheet; the highlighted item keeps the palette's highlight.
        const QString strColor = m_brBackground.color().name();
        pFrame->menuBar()->setStyleSheet(
            QStringLiteral("QMenuBar { background-color: %1; }"
                           "QMenuBar::item { background: transparent; }"
                           "QMenuBar::item:selected { background: palette(highlight);"
                           " color: palette(highlighted-text); }"
                           "QMenu { background-color: %1; }"
                           "QMenu::item:selected { background: palette(highlight);"
                           " color: palette(highlighted-text); }"
                           "QMenu::item:disabled { color: palette(mid); }")
                .arg(strColor));
    }
    for (int i = 0; i < kPageCount; ++i)
        Page(i)->SetBackgroundBrush(m_brBackground);
    m_pTabSheet->SetTabBrush(m_brBackground);
    update();
}

void CTolvexView::SetBackgroundColor(quint32 crBackground)
{
    m_crBackground = crBackground;
    CBackgroundColorFile::SaveBackgroundColor(m_crBackground);
    if (m_brBackground.style() != Qt::NoBrush) {
        m_brBackground = QBrush(ColorFromRef(m_crBackground));
        ApplyBackground();
    }
}

QColor CTolvexView::ColorFromRef(quint32 cr)
{
    return QColor(int(cr & 0xFF), int((cr >> 8) & 0xFF), int((cr >> 16) & 0xFF));
}

quint32 CTolvexView::RefFromColor(const QColor& color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

void CTolvexView::OnBackgroundColor()
{
    QColorDialog dialog(Qt::black, this);
    if (dialog.exec() == QDialog::Accepted)
        SetBackgroundColor(RefFromColor(dialog.selectedColor()));
}

void CTolvexView::OnDefaultBackgroundColor()
{
    SetBackgroundColor(kDefaultBackground);
}

void CTolvexView::OnComSettings()
{
    CComSettingDialog dialog(this);
    dialog.SetComSettings(m_comSettings);
    dialog.SetDeviceLookup([this](int nPort) { return DeviceFor(nPort); });
    dialog.SetDevice(DeviceFor(m_comSettings.m_nPort));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_comSettings = dialog.GetComSettings();
    const int nPort = m_comSettings.m_nPort;
    const QString strDevice = dialog.Device();
    const bool bSimulated = !m_strSimDevice.isEmpty() && nPort == m_nSimPort;
    if (!bSimulated || strDevice != m_strSimDevice) {
        // A device chosen for the simulated number replaces the simulator for this run.
        if (bSimulated)
            m_strSimDevice.clear();
        m_portMap.SetDevice(nPort, strDevice);
    }
    m_pBusLink->OpenPort(m_comSettings);
    m_settingsStore.SaveComSettings(m_comSettings);
}

void CTolvexView::OnCurveParams()
{
    PlotSettings& s = m_plotSettings;
    m_pHistoryCoefDialog->SetValues(s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions,
                                    s.m_nHistoryMax, s.m_nHistoryMin, s.m_nHistoryDivisions);
    if (m_pHistoryCoefDialog->exec() != QDialog::Accepted)
        return;
    m_pHistoryCoefDialog->GetValues(s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions,
                                    s.m_nHistoryMax, s.m_nHistoryMin, s.m_nHistoryDivisions);
    m_settingsStore.SavePlotSettings(m_plotSettings);
    ApplyPlotRanges();
}

void CTolvexView::OnImportParams()
{
    m_pParamPage->ImportParams();
}

void CTolvexView::OnExportParams()
{
    m_pParamPage->ExportParams();
}

void CTolvexView::OnSaveCurveData()
{
    QMessageBox::information(this, QCoreApplication::applicationName(), QStringLiteral("保存期"));
}

void CTolvexView::UpdateSaveCurveDataItem(QAction* pAction) const
{
    const bool bPlotShown = m_pTabSheet->CurrentPage() == kTabPlot;
    pAction->setText(QStringLiteral("菜单测试"));
    pAction->setCheckable(true);
    pAction->setEnabled(bPlotShown);
    pAction->setChecked(bPlotShown);
}

bool CTolvexView::PrintCurrentPage(QPrinter* pPrinter)
{
    QPainter painter;
    if (!painter.begin(pPrinter))
        return false;
    RenderCurrentPage(painter, pPrinter->pageLayout().paintRectPixels(pPrinter->resolution()));
    return painter.end();
}

void CTolvexView::RenderCurrentPage(QPainter& painter, const QRect& rcTarget)
{
    QWidget* pPage = m_pTabSheet->Page(m_pTabSheet->CurrentPage());
    if (pPage == nullptr || pPage->width() <= 0 || pPage->height() <= 0)
        return;
    const QSize szPage = pPage->size();
    const double dScale = qMin(double(rcTarget.width()) / szPage.width(),
                               double(rcTarget.height()) / szPage.height());
    painter.save();
    painter.scale(dScale, dScale);
    pPage->render(&painter, QPoint(), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter.restore();
}

void CTolvexView::StopWorkers()
{
    for (int i = 0; i < kPageCount; ++i)
        Page(i)->StopWorker();
}

CTabPage* CTolvexView::Page(int nTab) const
{
    switch (nTab) {
    case kTabParams:
        return m_pParamPage.get();
    case kTabMulti:
        return m_pMultiPage.get();
    case kTabPlot:
        return m_pPlotPage.get();
    case kTabHistory:
        return m_pHistoryPage.get();
    case kTabTerminal:
        return m_pTerminalPage.get();
    case kTabRemote:
        return m_pRemotePage.get();
    default:
        return nullptr;
    }
}

void CTolvexView::ApplyPlotRanges()
{
    const PlotSettings& s = m_plotSettings;
    m_pPlotPage->SetRange(s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions);
    m_pHistoryPage->SetRange(s.m_nHistoryMax, s.m_nHistoryMin, s.m_nHistoryDivisions);
}

void CTolvexView::DoShowMessage(const QString& strText)
{
    QMessageBox::warning(this, QCoreApplication::applicationName(), strText);
}

QString CTolvexView::ProgramDirectory() const
{
    return CAppPath::DataFolder();
}
