#pragma once

#include "curves/2dPlot.h"
#include "curves/CurvePage.h"

#include <QCursor>
#include <QStringList>

class QLabel;

// The history curve page: a data file dropped on it is drawn as a curve that
// the user drags through with the right button; the value under the cursor
// goes to the status bar. The wheel zooms out by factors of 2, up to the
// whole file, and back in.
class CHistoryDialog : public CCurvePage
{
    Q_OBJECT
public:
    explicit CHistoryDialog(CPageContext& context, QWidget* parent = nullptr);

    // Reads the whole file into the plot and closes it; "读取文件出错!" and
    // nothing changed when it cannot be read.
    bool Load(const QString& strFileName);
    // Loads each file in order; the last one that loads stays shown.
    void LoadFiles(const QStringList& arrFiles);

    QString FileName() const { return m_strFileName; }
    qint64 RecordCount() const { return m_nRecordCount; }
    qint64 HistoryStart() const { return m_nStart; }
    int Zoom() const { return m_nZoom; }
    // Records per column; clamped to 1 .. the first power of 2 showing the whole file.
    void SetZoom(int nZoom);
    C2dPlot& Plot() { return m_plot; }
    // The line on the empty plot that says how to load a file; hidden once one is.
    QLabel* Hint() const { return m_pHint; }

protected:
    void OnRangeChanged() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int MaxZoom() const;
    void ShowValueAt(int nX);

    C2dPlot m_plot;
    QLabel* m_pHint;
    QString m_strFileName;
    qint64 m_nRecordCount = 0;
    qint64 m_nStart = 0;
    int m_nZoom = 1;
    bool m_bDragging = false;
    int m_nLastX = 0;
    int m_nLastY = 0;
    QCursor m_cursorPrevious;
};
