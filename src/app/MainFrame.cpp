#include "app/MainFrame.h"

#include "app/TolvexView.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QToolBar>

namespace {
// Normal face 19 x 19, hot face (under the mouse) 22 x 22.
QIcon ToolIcon(const QString& strName)
{
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/images/") + strName + QStringLiteral("19.png")),
                   QIcon::Normal);
    icon.addPixmap(QPixmap(QStringLiteral(":/images/") + strName + QStringLiteral("22.png")),
                   QIcon::Active);
    return icon;
}
} // namespace

CMainFrame::CMainFrame(CTolvexView* pView, QWidget* parent) : QMainWindow(parent), m_pView(pView)
{
    setWindowIcon(QIcon(QStringLiteral(":/images/tolvex.png")));
    setCentralWidget(m_pView);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setMinimumSize(kMinWidth, kMinHeight);
    setWindowTitle(FixedTitle());
}

QString CMainFrame::FixedTitle()
{
    return QStringLiteral("高速Tolvex测试软件");
}

void CMainFrame::SetMessageText(const QString& strText)
{
    m_pMessagePane->setText(strText);
    m_pMessagePane->repaint();
}

QString CMainFrame::MessageText() const
{
    return m_pMessagePane->text();
}

void CMainFrame::OnNewDocument()
{
    m_pView->OnInitialUpdate();
    setWindowTitle(QStringLiteral("无标题 - ") + FixedTitle());
}

void CMainFrame::OnOpenDocument()
{
    const QString strFile = QFileDialog::getOpenFileName(this);
    if (!strFile.isEmpty())
        setWindowTitle(QFileInfo(strFile).fileName() + QStringLiteral(" - ") + FixedTitle());
}

void CMainFrame::OnPrint()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(&printer);
}

void CMainFrame::OnPrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* pPrinter) { PrintTo(pPrinter); });
    dialog.exec();
}

bool CMainFrame::PrintTo(QPrinter* pPrinter)
{
    return m_pView->PrintCurrentPage(pPrinter);
}

void CMainFrame::OnAbout()
{
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("关于 Tolvex测试软件"));
    box.setIconPixmap(windowIcon().pixmap(32, 32));
    box.setText(QStringLiteral("Tolvex测试软件 2.0 版"));
    box.setInformativeText(QStringLiteral(__DATE__ " " __TIME__));
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
}

bool CMainFrame::event(QEvent* event)
{
    // Whatever title is asked for, the fixed one is shown.
    if (event->type() == QEvent::WindowTitleChange && !m_bSettingTitle &&
        windowTitle() != FixedTitle()) {
        m_bSettingTitle = true;
        setWindowTitle(FixedTitle());
        m_bSettingTitle = false;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    m_pView->StopWorkers();
    QMainWindow::closeEvent(event);
}

void CMainFrame::CreateMenus()
{
    CTolvexView* pView = m_pView;

    m_pFileMenu = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    m_pFileMenu->addAction(QStringLiteral("导入参数(&I)"), pView, &CTolvexView::OnImportParams);
    m_pFileMenu->addAction(QStringLiteral("导出参数(&E)"), pView, &CTolvexView::OnExportParams);
    m_pFileMenu->addSeparator();
    m_pSaveCurveData = m_pFileMenu->addAction(QStringLiteral("保存曲线数据"), pView,
                                              &CTolvexView::OnSaveCurveData);
    m_pFileMenu->addAction(QStringLiteral("退出(&X)"), this, &QWidget::close);
    connect(m_pFileMenu, &QMenu::aboutToShow, this,
            [this] { m_pView->UpdateSaveCurveDataItem(m_pSaveCurveData); });

    // The edit commands have no handler in the tool and stay greyed.
    QMenu* pEditMenu = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    const char* arrEdit[] = {"撤消(&U)\tCtrl+Z", nullptr, "剪切(&T)\tCtrl+X", "复制(&C)\tCtrl+C",
                             "粘贴(&P)\tCtrl+V"};
    for (const char* pszText : arrEdit) {
        if (pszText == nullptr)
            pEditMenu->addSeparator();
        else
            pEditMenu->addAction(QString::fromUtf8(pszText))->setEnabled(false);
    }

    m_pViewMenu = menuBar()->addMenu(QStringLiteral("查看(&V)"));

    QMenu* pHelpMenu = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    pHelpMenu->addAction(QStringLiteral("关于 Tolvex测试软件(&A)..."), this, &CMainFrame::OnAbout);

    QMenu* pSettingsMenu = menuBar()->addMenu(QStringLiteral("设置(&S)"));
    pSettingsMenu->addAction(QStringLiteral("背景色"), pView, &CTolvexView::OnBackgroundColor);
    pSettingsMenu->addAction(QStringLiteral("默认背景色"), pView,
                             &CTolvexView::OnDefaultBackgroundColor);
    pSettingsMenu->addAction(QStringLiteral("串口设置"), pView, &CTolvexView::OnComSettings);
    pSettingsMenu->addSeparator();
    pSettingsMenu->addAction(QStringLiteral("曲线参数"), pView, &CTolvexView::OnCurveParams);

    // Accelerators without a menu item.
    QAction* pNew = new QAction(this);
    pNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(pNew, &QAction::triggered, this, &CMainFrame::OnNewDocument);
    QAction* pOpen = new QAction(this);
    pOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(pOpen, &QAction::triggered, this, &CMainFrame::OnOpenDocument);
    m_pPrint = new QAction(QStringLiteral("打印"), this);
    m_pPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(m_pPrint, &QAction::triggered, this, &CMainFrame::OnPrint);
    QAction* pPreview = new QAction(this);
    pPreview->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(pPreview, &QAction::triggered, this, &CMainFrame::OnPrintPreview);
    addActions({pNew, pOpen, m_pPrint, pPreview});
}

void CMainFrame::CreateToolBar()
{
    m_pToolBar = addToolBar(QStringLiteral("工具栏"));
    m_pToolBar->setObjectName(QStringLiteral("toolBar"));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_pToolBar->setIconSize(QSize(20, 20));
    m_pComSettings =
        m_pToolBar->addAction(ToolIcon(QStringLiteral("serial")), QStringLiteral("串口"), m_pView,
                              &CTolvexView::OnComSettings);
    m_pPrint->setIcon(ToolIcon(QStringLiteral("print")));
    m_pToolBar->addAction(m_pPrint);
    // The band behind the buttons.
    QPalette palette = m_pToolBar->palette();
    palette.setBrush(QPalette::Window, QBrush(QPixmap(QStringLiteral(":/images/band151.png"))));
    m_pToolBar->setPalette(palette);
    m_pToolBar->setAutoFillBackground(true);

    QAction* pToggle = m_pToolBar->toggleViewAction();
    pToggle->setText(QStringLiteral("工具栏(&T)"));
    m_pViewMenu->addAction(pToggle);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* pBar = statusBar();
    m_pMessagePane = new QLabel(QStringLiteral("就绪"), pBar);
    pBar->addWidget(m_pMessagePane, 1);
    // Lock indicators: greyed, as the lock states are not known to the tool.
    for (const char* pszText : {"大写", "数字", "滚动"}) {
        auto* pIndicator = new QLabel(QString::fromUtf8(pszText), pBar);
        pIndicator->setEnabled(false);
        pBar->addPermanentWidget(pIndicator);
    }

    QAction* pToggle = new QAction(QStringLiteral("状态栏(&S)"), this);
    pToggle->setCheckable(true);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, pBar, &QWidget::setVisible);
    m_pViewMenu->addAction(pToggle);
}
