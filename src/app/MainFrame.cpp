#include "app/MainFrame.h"

#include "app/TabSheet.h"
#include "app/TolvexView.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStatusBar>
#include <QTabBar>
#include <QTextEdit>
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

CMainFrame::CMainFrame(CTolvexView* pView, QWidget* parent)
    : QMainWindow(parent), m_pView(pView),
      m_pPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setWindowIcon(QIcon(QStringLiteral(":/images/tolvex.png")));
    setCentralWidget(m_pView);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setMinimumSize(kMinWidth, kMinHeight);
    setWindowTitle(FixedTitle());
}

CMainFrame::~CMainFrame() = default;

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

void CMainFrame::OnSaveDocument()
{
    const QString strFile = QFileDialog::getSaveFileName(this);
    if (strFile.isEmpty())
        return;
    QSaveFile file(strFile);
    if (!file.open(QIODevice::WriteOnly) || !file.commit()) {
        QMessageBox::warning(this, FixedTitle(), file.errorString());
        return;
    }
    setWindowTitle(QFileInfo(strFile).fileName() + QStringLiteral(" - ") + FixedTitle());
}

void CMainFrame::OnPrint()
{
    QPrintDialog dialog(m_pPrinter.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(m_pPrinter.get());
}

void CMainFrame::OnPrintSetup()
{
    QPageSetupDialog dialog(m_pPrinter.get(), this);
    dialog.exec();
}

void CMainFrame::OnEditCommand(int nCommand)
{
    QWidget* pFocus = QApplication::focusWidget();
    if (auto* pSpin = qobject_cast<QAbstractSpinBox*>(pFocus))
        pFocus = pSpin->findChild<QLineEdit*>();
    static const char* const arrSlots[] = {"undo", "cut", "copy", "paste"};
    if (qobject_cast<QLineEdit*>(pFocus) || qobject_cast<QPlainTextEdit*>(pFocus) ||
        qobject_cast<QTextEdit*>(pFocus))
        QMetaObject::invokeMethod(pFocus, arrSlots[nCommand]);
}

void CMainFrame::OnNextPane(bool bForward)
{
    // Two panes: the tab row and the shown page; either key goes to the other.
    Q_UNUSED(bForward);
    QTabBar* pTabs = m_pView->TabSheet()->TabBar();
    if (!pTabs->hasFocus()) {
        pTabs->setFocus(Qt::TabFocusReason);
        return;
    }
    QWidget* pPage = m_pView->TabSheet()->Page(m_pView->TabSheet()->CurrentPage());
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

void CMainFrame::OnPrintPreview()
{
    QPrintPreviewDialog dialog(m_pPrinter.get(), this);
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
    m_pFileMenu->addAction(QStringLiteral("打印设置(&R)..."), this, &CMainFrame::OnPrintSetup);
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

    AddAccelerator(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { OnSaveDocument(); });
    const struct
    {
        QKeyCombination keys;
        EditCommand command;
    } arrEditKeys[] = {{Qt::ALT | Qt::Key_Backspace, kUndo},
                       {Qt::SHIFT | Qt::Key_Delete, kCut},
                       {Qt::CTRL | Qt::Key_Insert, kCopy},
                       {Qt::SHIFT | Qt::Key_Insert, kPaste}};
    for (const auto& edit : arrEditKeys) {
        const int nCommand = edit.command;
        AddAccelerator(QKeySequence(edit.keys), [this, nCommand] { OnEditCommand(nCommand); });
    }
    AddAccelerator(QKeySequence(Qt::Key_F6), [this] { OnNextPane(true); });
    AddAccelerator(QKeySequence(Qt::SHIFT | Qt::Key_F6), [this] { OnNextPane(false); });
}

void CMainFrame::AddAccelerator(const QKeySequence& keys, std::function<void()> fn)
{
    QAction* pAction = new QAction(this);
    pAction->setShortcut(keys);
    connect(pAction, &QAction::triggered, this, std::move(fn));
    addAction(pAction);
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
    // The band behind the buttons, a light picture; the texts under the icons
    // are drawn dark on it.
    m_pToolBar->setStyleSheet(
        QStringLiteral("QToolBar { background-image: url(:/images/band151.png); border: none; }"
                       "QToolButton { color: black; }"));

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
