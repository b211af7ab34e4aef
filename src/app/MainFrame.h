#pragma once

#include "app/ViewActions.h"

#include <QColor>
#include <QMainWindow>
#include <QString>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

// The main window: menu, toolbar and status bar around the view, whose
// commands it places. Its title stays fixed whatever anyone sets.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kMinWidth = 150;
    static constexpr int kMinHeight = 850;

    CMainFrame(QWidget* pView, const ViewActions& actions, QWidget* parent = nullptr);
    ~CMainFrame() override;

    static QString FixedTitle();
    // Text of a greyed menu item on the background: at least 3:1 against it,
    // and still paler than an enabled item.
    static QColor DisabledTextColor(const QColor& background);
    // WCAG contrast ratio of two colours, 1 to 21.
    static double Contrast(const QColor& first, const QColor& second);

    QString MessageText() const;
    QString RecordingText() const;

    // The new-document command: the title, then NewDocument.
    void OnNewDocument();
    // Saving the document writes an empty document file: it holds nothing.
    void OnSaveDocument();
    // The edit keys act on the text field that has the focus, if any.
    void OnEditCommand(int nCommand);
    void OnAbout();

    QAction* SaveCurveDataAction() const { return m_actions.m_pSaveCurveData; }
    QAction* PrintAction() const { return m_actions.m_pPrint; }
    QAction* ComSettingsAction() const { return m_pComSettingsTool; }
    QMenu* FileMenu() const { return m_pFileMenu; }
    QToolBar* ToolBar() const { return m_pToolBar; }

    enum EditCommand
    {
        kUndo,
        kCut,
        kCopy,
        kPaste
    };

public Q_SLOTS:
    // Pane 0 of the status bar; idle text "就绪".
    void SetMessageText(const QString& strText);
    // The field naming the file being recorded; hidden while none is.
    void SetRecordingFile(const QString& strFile);
    // Menus take the page background.
    void SetMenuBackground(const QColor& color);

Q_SIGNALS:
    void NewDocument();
    // The window is closing: workers must stop before anything goes.
    void Closing();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void AddAccelerator(const QKeySequence& keys, std::function<void()> fn);

    ViewActions m_actions;
    QLabel* m_pMessagePane = nullptr;
    QLabel* m_pRecordingPane = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QAction* m_pComSettingsTool = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pViewMenu = nullptr;
    bool m_bSettingTitle = false;
};
