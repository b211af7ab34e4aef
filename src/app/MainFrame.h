#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

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
    ~CMainFrame() override;

    static QString FixedTitle();

    CTolvexView* View() const { return m_pView; }

    // Pane 0 of the status bar; idle text "就绪".
    void SetMessageText(const QString& strText);
    QString MessageText() const;

    // The new-document command: runs the view's initial update.
    void OnNewDocument();
    // Opening a document loads nothing into the tool.
    void OnOpenDocument();
    // Saving the document writes an empty document file: it holds nothing.
    void OnSaveDocument();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();
    // The edit keys act on the text field that has the focus, if any.
    void OnEditCommand(int nCommand);
    // F6 / Shift+F6: the focus moves between the tab row and the shown page.
    void OnNextPane(bool bForward);
    void OnAbout();
    // Prints the shown page without a dialog (a PDF printer, for instance).
    bool PrintTo(QPrinter* pPrinter);

    QAction* SaveCurveDataAction() const { return m_pSaveCurveData; }
    QMenu* FileMenu() const { return m_pFileMenu; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QAction* PrintAction() const { return m_pPrint; }
    QAction* ComSettingsAction() const { return m_pComSettings; }
    QPrinter* Printer() const { return m_pPrinter.get(); }

    enum EditCommand
    {
        kUndo,
        kCut,
        kCopy,
        kPaste
    };

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void AddAccelerator(const QKeySequence& keys, std::function<void()> fn);

    CTolvexView* m_pView;
    QLabel* m_pMessagePane = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pViewMenu = nullptr;
    QAction* m_pSaveCurveData = nullptr;
    QAction* m_pPrint = nullptr;
    QAction* m_pComSettings = nullptr;
    bool m_bSettingTitle = false;
    // Page set-up and print share one printer, so the set-up holds for the next print.
    std::unique_ptr<QPrinter> m_pPrinter;
};
