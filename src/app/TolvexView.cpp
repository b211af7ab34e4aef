#include "app/TolvexView.h"

#include "app/TabSheet.h"
#include "app/WindowContext.h"
#include "curves/HistoryCoefDialog.h"
#include "curves/HistoryDialog.h"
#include "curves/PlotDisplayDialog.h"
#include "link/BusLink.h"
#include "link/ComSettingDialog.h"
#include "multi/32DisplayDialog.h"
#include "params/ParamSettingsDialog.h"
#include "remote/RemoteDialog.h"
#include "session/Session.h"
#include "settings/BackgroundColorFile.h"
#include "terminal/ComAssistDialog.h"

#include <QAction>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTabBar>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <cstring>

CTolvexView::CTolvexView(CSession& session, QWidget* parent)
    : QWidget(parent), m_session(session),
      m_pContext(std::make_unique<CWindowContext>(session, this)),
      m_pTabSheet(std::make_unique<CTabSheet>(this)),
      m_pParamPage(std::make_unique<CParamSettingsDialog>(*m_pContext)),
      m_pMultiPage(std::make_unique<C32DisplayDialog>(*m_pContext)),
      m_pPlotPage(std::make_unique<CPlotDisplayDialog>(*m_pContext)),
      m_pHistoryPage(std::make_unique<CHistoryDialog>(*m_pContext)),
      m_pRemotePage(
          std::make_unique<CRemoteDialog>(*m_pContext, session.Remote(), session.SettingsFile())),
      m_pTerminalPage(std::make_unique<CComAssistDialog>(*m_pContext)),
      m_pHistoryCoefDialog(std::make_unique<CHistoryCoefDialog>(this)),
      m_pPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pTabSheet.get());
    connect(m_pContext.get(), &CWindowContext::StatusTextChanged, this,
            &CTolvexView::StatusTextChanged);
    connect(m_pContext.get(), &CWindowContext::RecordingFileChanged, this,
            &CTolvexView::RecordingFileChanged);
    // What a page said is about that page: the next one starts with a clean pane.
    connect(m_pTabSheet.get(), &CTabSheet::PageHidden, this,
            [this] { emit StatusTextChanged(QString()); });
    CreateActions();
}

CTolvexView::~CTolvexView()
{
    StopWorkers();
}

void CTolvexView::CreateActions()
{
    auto add = [this](const QString& strText, void (CTolvexView::*pfnCommand)(),
                      const QKeySequence& keys = QKeySequence()) {
        auto* pAction = new QAction(strText, this);
        pAction->setShortcut(keys);
        connect(pAction, &QAction::triggered, this, pfnCommand);
        return pAction;
    };
    m_actions.m_pOpen = add(QString(), &CTolvexView::OnOpen, QKeySequence(Qt::CTRL | Qt::Key_O));
    m_actions.m_pImportParams = add(QStringLiteral("导入参数(&I)"), &CTolvexView::OnImportParams);
    m_actions.m_pExportParams = add(QStringLiteral("导出参数(&E)"), &CTolvexView::OnExportParams);
    m_actions.m_pSaveCurveData = add(QStringLiteral("保存曲线数据"), &CTolvexView::OnSaveCurveData);
    m_actions.m_pPrint =
        add(QStringLiteral("打印"), &CTolvexView::OnPrint, QKeySequence(Qt::CTRL | Qt::Key_P));
    m_actions.m_pPrintPreview = add(QString(), &CTolvexView::OnPrintPreview,
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    m_actions.m_pPrintSetup = add(QStringLiteral("打印设置(&R)..."), &CTolvexView::OnPrintSetup);
    m_actions.m_pBackgroundColor = add(QStringLiteral("背景色"), &CTolvexView::OnBackgroundColor);
    m_actions.m_pDefaultBackgroundColor =
        add(QStringLiteral("默认背景色"), &CTolvexView::OnDefaultBackgroundColor);
    m_actions.m_pComSettings = add(QStringLiteral("串口设置"), &CTolvexView::OnComSettings);
    m_actions.m_pCurveParams = add(QStringLiteral("曲线参数"), &CTolvexView::OnCurveParams);
    m_actions.m_pShowScriptControls = new QAction(QStringLiteral("显示脚本控件"), this);
    m_actions.m_pShowScriptControls->setCheckable(true);
    connect(m_actions.m_pShowScriptControls, &QAction::toggled, m_pTerminalPage.get(),
            &CComAssistDialog::SetScriptControlsShown);
    // Two panes, the tab row and the shown page: either key goes to the other.
    m_actions.m_pNextPane = add(QString(), &CTolvexView::OnNextPane, QKeySequence(Qt::Key_F6));
    m_actions.m_pPreviousPane =
        add(QString(), &CTolvexView::OnNextPane, QKeySequence(Qt::SHIFT | Qt::Key_F6));
}

void CTolvexView::OnInitialUpdate()
{
    if (!m_bFirstUpdate)
        return;
    m_bFirstUpdate = false;
    m_bReady = true;

    SelectSimulatedModules();
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

void CTolvexView::SelectSimulatedModules()
{
    const QList<int> arrAddresses = m_session.SimulatedAddresses();
    if (arrAddresses.isEmpty())
        return;
    m_pParamPage->SelectAddress(arrAddresses.first());
    CircleSettings settings = m_pMultiPage->Settings();
    settings.m_nMaxAddress = arrAddresses.last();
    m_pMultiPage->ApplySettings(settings);
}

CPageContext& CTolvexView::Context() const
{
    return *m_pContext;
}

void CTolvexView::ApplyBackground()
{
    m_pContext->SetBackgroundBrush(m_brBackground);
    for (int i = 0; i < kPageCount; ++i)
        Page(i)->SetBackgroundBrush(m_brBackground);
    m_pTabSheet->SetTabBrush(m_brBackground);
    update();
    emit BackgroundChanged(m_brBackground.color());
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

void CTolvexView::OnOpen()
{
    if (m_pTabSheet->CurrentPage() != kTabHistory) {
        // Elsewhere there is no document to open: the choice loads nothing.
        QFileDialog::getOpenFileName(this);
        return;
    }
    const QString strFile = QFileDialog::getOpenFileName(
        this, QString(), m_pContext->ProgramDirectory() + QStringLiteral("数据文件"),
        QStringLiteral("数据文件 (*.Dat *.dat);;所有文件 (*)"));
    if (!strFile.isEmpty())
        m_pHistoryPage->LoadFiles({strFile});
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
    dialog.SetComSettings(m_session.PortSettings());
    dialog.SetDeviceLookup([this](int nPort) { return m_session.DeviceFor(nPort); });
    dialog.SetDevice(m_session.DeviceFor(m_session.PortSettings().m_nPort));
    if (dialog.exec() == QDialog::Accepted)
        m_session.ChangePort(dialog.GetComSettings(), dialog.Device());
}

void CTolvexView::OnCurveParams()
{
    PlotSettings s = m_session.GetPlotSettings();
    m_pHistoryCoefDialog->SetValues(s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions,
                                    s.m_nHistoryMax, s.m_nHistoryMin, s.m_nHistoryDivisions);
    if (m_pHistoryCoefDialog->exec() != QDialog::Accepted)
        return;
    m_pHistoryCoefDialog->GetValues(s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions,
                                    s.m_nHistoryMax, s.m_nHistoryMin, s.m_nHistoryDivisions);
    m_session.ChangePlotSettings(s);
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

void CTolvexView::UpdateSaveCurveDataItem()
{
    const bool bPlotShown = m_pTabSheet->CurrentPage() == kTabPlot;
    QAction* pAction = m_actions.m_pSaveCurveData;
    pAction->setText(QStringLiteral("菜单测试"));
    pAction->setCheckable(true);
    pAction->setEnabled(bPlotShown);
    pAction->setChecked(bPlotShown);
}

void CTolvexView::OnPrint()
{
    QPrintDialog dialog(m_pPrinter.get(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString strError;
    if (!PrintTo(m_pPrinter.get(), strError))
        QMessageBox::warning(this, QCoreApplication::applicationName(),
                             QStringLiteral("打印失败: ") + strError);
}

void CTolvexView::OnPrintPreview()
{
    QPrintPreviewDialog dialog(m_pPrinter.get(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* pPrinter) {
        QString strError;
        PrintTo(pPrinter, strError);
    });
    // As large as the window, the page as wide as the preview.
    dialog.resize(window()->size().expandedTo(dialog.sizeHint()));
    if (auto* pPreview = dialog.findChild<QPrintPreviewWidget*>())
        pPreview->fitToWidth();
    dialog.exec();
}

void CTolvexView::OnPrintSetup()
{
    QPageSetupDialog dialog(m_pPrinter.get(), this);
    dialog.exec();
}

void CTolvexView::OnNextPane()
{
    QTabBar* pTabs = m_pTabSheet->TabBar();
    if (!pTabs->hasFocus()) {
        pTabs->setFocus(Qt::TabFocusReason);
        return;
    }
    QWidget* pPage = m_pTabSheet->Page(m_pTabSheet->CurrentPage());
    QWidget* pFirst = pPage ? pPage->nextInFocusChain() : nullptr;
    while (pFirst && pFirst != pPage &&
           !(pPage->isAncestorOf(pFirst) && pFirst->isVisible() && pFirst->isEnabled() &&
             (pFirst->focusPolicy() & Qt::TabFocus)))
        pFirst = pFirst->nextInFocusChain();
    if (pFirst && pFirst != pPage)
        pFirst->setFocus(Qt::TabFocusReason);
    else if (pPage)
        pPage->setFocus(Qt::OtherFocusReason);
}

namespace {

// A PDF written whole ends with its end-of-file marker; one cut short by a
// full disk does not (the PDF engine reports no failed write).
bool PdfIsWhole(const QString& strPath)
{
    QFile file(strPath);
    constexpr qint64 kTail = 16;
    return file.open(QIODevice::ReadOnly) && file.size() >= kTail &&
           file.seek(file.size() - kTail) && file.read(kTail).contains("%%EOF");
}

} // namespace

bool CTolvexView::PrintTo(QPrinter* pPrinter, QString& strError)
{
    const QString strTarget = pPrinter->outputFileName();
    if (pPrinter->outputFormat() != QPrinter::PdfFormat || strTarget.isEmpty())
        return Render(pPrinter, strError);
    QTemporaryFile temp(strTarget + QStringLiteral(".XXXXXX"));
    if (!temp.open()) {
        strError = QStringLiteral("%1: %2").arg(strTarget, temp.errorString());
        return false;
    }
    temp.close();
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    pPrinter->setOutputFileName(temp.fileName());
    const bool bRendered = Render(pPrinter, strError);
    pPrinter->setOutputFileName(strTarget);
    if (!bRendered)
        return false;
    if (!PdfIsWhole(temp.fileName())) {
        strError = QStringLiteral("%1: 文件未能完整写入 (磁盘已满?)").arg(strTarget);
        return false;
    }
    if (::rename(QFile::encodeName(temp.fileName()).constData(),
                 QFile::encodeName(strTarget).constData()) != 0) {
        strError =
            QStringLiteral("%1: %2").arg(strTarget, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    temp.setAutoRemove(false);
    return true;
}

bool CTolvexView::Render(QPrinter* pPrinter, QString& strError)
{
    QPainter painter;
    if (!painter.begin(pPrinter)) {
        strError = pPrinter->outputFileName().isEmpty()
                       ? QStringLiteral("打印机无法使用")
                       : QStringLiteral("%1: 无法写入").arg(pPrinter->outputFileName());
        return false;
    }
    RenderCurrentPage(painter, pPrinter->pageLayout().paintRectPixels(pPrinter->resolution()));
    if (!painter.end()) {
        strError = QStringLiteral("打印未完成");
        return false;
    }
    return true;
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
    const PlotSettings& s = m_session.GetPlotSettings();
    m_pPlotPage->SetRange(s.m_nRealTimeMax, s.m_nRealTimeMin, s.m_nRealTimeDivisions);
    m_pHistoryPage->SetRange(s.m_nHistoryMax, s.m_nHistoryMin, s.m_nHistoryDivisions);
}
