#pragma once

#include <QPlainTextEdit>
#include <QString>

class QMimeData;

// The terminal's send area. A text too large to edit comfortably (a paste of
// megabytes, a large "Comassist.dat") is held whole beside the box: the box
// then shows its beginning, read-only, until the area is cleared, so the page
// stays responsive while send, parse and save use the whole text.
class CSendArea : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxEditChars = 128 * 1024;
    static constexpr qsizetype kPreviewChars = 4096;

    explicit CSendArea(QWidget* parent = nullptr);

    // The whole send text, with '\n' line breaks.
    QString SendText() const;
    // Puts a text in by program (textChanged still fires).
    void SetSendText(const QString& strText);
    bool IsHeld() const { return m_bHeld; }

protected:
    void insertFromMimeData(const QMimeData* source) override;

private:
    void Hold(const QString& strText);

    QString m_strHeld;
    bool m_bHeld = false;
};
