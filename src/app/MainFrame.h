#pragma once

#include <QMainWindow>
#include <QString>

class CTolvexView;
class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QToolBar;

// The main window: menu, toolbar and status bar around the view. Its title
// stays fixed whatever anyone sets.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kMinWidth = 150;
    static constexpr int kMinHeight = 850;

    explicit CMainFrame(CTolvexView* pView, QWidget* parent = nullptr);

    static QString FixedTitle();

    CTolvexView* View() const { return m_pView; }

    // Pane 0 of the status bar; idle text "就绪".
    void SetMessageText(const QString& strText);
    QString MessageText() const;

    // The new-document command: runs the view's initial update.
    void OnNewDocument();
    // Opening a document loads nothing into the tool.
    void OnOpenDocument();
    void OnPrint();
    void OnPrintPreview();
    void OnAbout();
    // Prints the shown page without a dialog (a PDF printer, for instance).
    bool PrintTo(QPrinter* pPrinter);

    QAction* SaveCurveDataAction() const { return m_pSaveCurveData; }
    QMenu* FileMenu() const { return m_pFileMenu; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QAction* PrintAction() const { return m_pPrint; }
    QAction* ComSettingsAction() const { return m_pComSettings; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();

    CTolvexView* m_pView;
    QLabel* m_pMessagePane = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pViewMenu = nullptr;
    QAction* m_pSaveCurveData = nullptr;
    QAction* m_pPrint = nullptr;
    QAction* m_pComSettings = nullptr;
    bool m_bSettingTitle = false;
};
