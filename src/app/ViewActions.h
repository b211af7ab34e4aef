#pragma once

class QAction;

// The view's commands, owned by the view; the frame places them in its menus,
// toolbar and accelerators.
struct ViewActions
{
    QAction* m_pOpen = nullptr;
    QAction* m_pImportParams = nullptr;
    QAction* m_pExportParams = nullptr;
    QAction* m_pSaveCurveData = nullptr;
    QAction* m_pPrint = nullptr;
    QAction* m_pPrintPreview = nullptr;
    QAction* m_pPrintSetup = nullptr;
    QAction* m_pBackgroundColor = nullptr;
    QAction* m_pDefaultBackgroundColor = nullptr;
    QAction* m_pComSettings = nullptr;
    QAction* m_pCurveParams = nullptr;
    // Check item: the terminal page's script controls, unchecked at every start.
    QAction* m_pShowScriptControls = nullptr;
    QAction* m_pNextPane = nullptr;
    QAction* m_pPreviousPane = nullptr;
};
