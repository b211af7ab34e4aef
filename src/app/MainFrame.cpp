#include "app/MainFrame.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>

#include <algorithm>
#include <cmath>

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

CMainFrame::CMainFrame(QWidget* pView, const ViewActions& actions, QWidget* parent)
    : QMainWindow(parent), m_actions(actions)
{
    setWindowIcon(QIcon(QStringLiteral(":/images/tolvex.png")));
    setCentralWidget(pView);
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

void CMainFrame::SetRecordingFile(const QString& strFile)
{
    m_pRecordingPane->setText(strFile.isEmpty()
                                  ? QString()
                                  : QStringLiteral("正在记录: ") + QFileInfo(strFile).fileName());
    m_pRecordingPane->setToolTip(strFile);
    m_pRecordingPane->setVisible(!strFile.isEmpty());
}

QString CMainFrame::RecordingText() const
{
    return m_pRecordingPane->text();
}

double CMainFrame::Contrast(const QColor& first, const QColor& second)
{
    auto luminance = [](const QColor& color) {
        auto channel = [](double d) {
            return d <= 0.03928 ? d / 12.92 : std::pow((d + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
               0.0722 * channel(color.blueF());
    };
    const double dFirst = luminance(first) + 0.05;
    const double dSecond = luminance(second) + 0.05;
    return std::max(dFirst, dSecond) / std::min(dFirst, dSecond);
}

QColor CMainFrame::DisabledTextColor(const QColor& background)
{
    // Towards the enabled text (black, or white on a dark background) until readable.
    const QColor text = Contrast(background, Qt::black) >= Contrast(background, Qt::white)
                            ? QColor(Qt::black)
                            : QColor(Qt::white);
    QColor mixed = text;
    for (int nPercent = 40; nPercent < 100; nPercent += 5) {
        const double d = nPercent / 100.0;
        mixed = QColor::fromRgbF(float(background.redF() * (1 - d) + text.redF() * d),
                                 float(background.greenF() * (1 - d) + text.greenF() * d),
                                 float(background.blueF() * (1 - d) + text.blueF() * d));
        if (Contrast(mixed, background) >= 3.2)
            return mixed;
    }
    return text;
}

void CMainFrame::SetMenuBackground(const QColor& color)
{
    // The style ignores a menu's palette, so the colour goes in as a style
    // sheet; the highlighted item keeps the palette's highlight.
    menuBar()->setStyleSheet(
        QStringLiteral("QMenuBar { background-color: %1; }"
                       "QMenuBar::item { background: transparent; }"
                       "QMenuBar::item:selected { background: palette(highlight);"
                       " color: palette(highlighted-text); }"
                       "QMenu { background-color: %1; }"
                       "QMenu::item:selected { background: palette(highlight);"
                       " color: palette(highlighted-text); }"
                       "QMenu::item:disabled { color: %2; }")
            .arg(color.name(), DisabledTextColor(color).name()));
}

void CMainFrame::OnNewDocument()
{
    emit NewDocument();
    setWindowTitle(QStringLiteral("无标题 - ") + FixedTitle());
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

void CMainFrame::OnAbout()
{
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("关于 Tolvex测试软件"));
    box.setIconPixmap(windowIcon().pixmap(32, 32));
    box.setText(QStringLiteral("Tolvex测试软件 2.0 版"));
    box.setInformativeText(QStringLiteral(__DATE__ " " __TIME__));
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    // The box is as wide as its title needs, with room for the title bar's buttons.
    const int nTitle = QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle());
    if (auto* pGrid = qobject_cast<QGridLayout*>(box.layout()))
        pGrid->addItem(
            new QSpacerItem(nTitle * 3 / 2 + 120, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
            pGrid->rowCount(), 0, 1, pGrid->columnCount());
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
    emit Closing();
    QMainWindow::closeEvent(event);
}

void CMainFrame::CreateMenus()
{
    m_pFileMenu = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    m_pFileMenu->addAction(m_actions.m_pImportParams);
    m_pFileMenu->addAction(m_actions.m_pExportParams);
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(m_actions.m_pSaveCurveData);
    m_pFileMenu->addAction(m_actions.m_pPrintSetup);
    m_pFileMenu->addAction(QStringLiteral("退出(&X)"), this, &QWidget::close);

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
    pSettingsMenu->addAction(m_actions.m_pBackgroundColor);
    pSettingsMenu->addAction(m_actions.m_pDefaultBackgroundColor);
    pSettingsMenu->addAction(m_actions.m_pComSettings);
    pSettingsMenu->addSeparator();
    pSettingsMenu->addAction(m_actions.m_pCurveParams);
    pSettingsMenu->addAction(m_actions.m_pShowScriptControls);

    // Accelerators without a menu item.
    QAction* pNew = new QAction(this);
    pNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(pNew, &QAction::triggered, this, &CMainFrame::OnNewDocument);
    addActions({pNew, m_actions.m_pOpen, m_actions.m_pPrint, m_actions.m_pPrintPreview,
                m_actions.m_pNextPane, m_actions.m_pPreviousPane});

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
    m_pComSettingsTool =
        m_pToolBar->addAction(ToolIcon(QStringLiteral("serial")), QStringLiteral("串口"),
                              m_actions.m_pComSettings, &QAction::trigger);
    m_actions.m_pPrint->setIcon(ToolIcon(QStringLiteral("print")));
    m_pToolBar->addAction(m_actions.m_pPrint);
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
    m_pRecordingPane = new QLabel(pBar);
    m_pRecordingPane->hide();
    pBar->addPermanentWidget(m_pRecordingPane);
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
