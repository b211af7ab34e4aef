#include "terminal/SendArea.h"

#include <QMimeData>
#include <QTextCursor>

CSendArea::CSendArea(QWidget* parent) : QPlainTextEdit(parent) {}

QString CSendArea::SendText() const
{
    return m_bHeld ? m_strHeld : toPlainText();
}

void CSendArea::SetSendText(const QString& strText)
{
    if (strText.size() > kMaxEditChars) {
        Hold(strText);
        return;
    }
    m_bHeld = false;
    m_strHeld.clear();
    setReadOnly(false);
    setPlainText(strText);
}

void CSendArea::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText() ||
        source->text().size() + document()->characterCount() <= kMaxEditChars) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const QTextCursor cursor = textCursor();
    QString strText = toPlainText();
    strText.replace(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart(),
                    source->text());
    strText.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    strText.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Hold(strText);
}

void CSendArea::Hold(const QString& strText)
{
    m_strHeld = strText;
    m_bHeld = true;
    setPlainText(
        strText.left(kPreviewChars) +
        QString::fromUtf8("\n…\n(共%1个字符,只读;清空发送区后可再编辑)").arg(strText.size()));
    setReadOnly(true);
}
