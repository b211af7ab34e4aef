#include "terminal/ComAssistDialog.h"

#include "link/PostedCall.h"
#include "module/GbkCodec.h"
#include "recording/TerminalArchive.h"
#include "terminal/HexText.h"
#include "terminal/SendArea.h"
#include "terminal/SendTextFile.h"
#include "terminal/TerminalInbox.h"

#include "ui_ComAssistDialog.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace {

constexpr int kCountIntervalMs = 500;
constexpr int kSpeedIntervalMs = 1000;
constexpr unsigned kMinSendInterval = 10; // an interval must be over this

QString RangeMessage(unsigned nMin, unsigned nMax)
{
    return QString::fromUtf8("请输入一个介于 %1 和 %2 之间的整数。").arg(nMin).arg(nMax);
}

// Both boxes: one fixed-width face with CJK glyphs, so columns of received
// and typed text line up, Chinese included.
QFont BoxFont()
{
    QFont font(QStringLiteral("Noto Sans Mono CJK SC"), 11);
    font.setFamilies({QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans Mono CJK"),
                      QString::fromUtf8("新宋体"), QStringLiteral("NSimSun")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

// What a key typed into the receive box puts on the bus: a Ctrl+letter (and
// Ctrl+@ [ \ ] ^ _) as its control byte, whatever the platform makes of the
// text; any other key its text in GBK. Empty for keys without a character.
QByteArray TypedBytes(const QKeyEvent& key)
{
    if (key.modifiers().testFlag(Qt::ControlModifier)) {
        const int nKey = key.key();
        if (nKey >= Qt::Key_At && nKey <= Qt::Key_Underscore)
            return QByteArray(1, char(nKey - Qt::Key_At));
        return QByteArray();
    }
    return CGbkCodec::Encode(key.text());
}

QTimer* MakeTimer(QObject* pParent, const char* pszName)
{
    auto* pTimer = new QTimer(pParent);
    pTimer->setObjectName(QLatin1String(pszName));
    return pTimer;
}

} // namespace

CComAssistDialog::CComAssistDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent), m_pUi(std::make_unique<Ui::ComAssistDialog>()),
      m_port(&context.BusLink()), m_pSendTimer(MakeTimer(this, "timerSend")),
      m_pArchiveTimer(MakeTimer(this, "timerArchive")),
      m_pCountTimer(MakeTimer(this, "timerCount")), m_pSpeedTimer(MakeTimer(this, "timerSpeed")),
      m_pDisplayTimer(MakeTimer(this, "timerDisplay")), m_pSaveTimer(MakeTimer(this, "timerSave"))
{
    m_pUi->setupUi(this);
    // The port group is part of the form but nothing shows it; the script
    // group shows when the window's menu asks for it.
    m_pUi->groupPort->hide();
    m_pUi->groupScript->hide();
    m_pScriptRun = std::make_unique<CScriptRun>(&m_port);
    connect(m_pScriptRun.get(), &CScriptRun::ScriptEnded, this, &CComAssistDialog::OnScriptEnded);
    connect(m_pUi->buttonRunScript, &QPushButton::clicked, this,
            &CComAssistDialog::OnRunScriptClicked);

    for (CWBButton* pButton : findChildren<CWBButton*>()) {
        pButton->setFixedSize(pButton->minimumSize());
        pButton->LoadStandardSkin();
    }

    QPlainTextEdit* pReceive = m_pUi->editReceive;
    pReceive->setFont(BoxFont());
    pReceive->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid rgb(217, 217, 217);"
                                           " background: rgb(208, 207, 226); color: black; }"));
    pReceive->setReadOnly(true);
    pReceive->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pReceive->setUndoRedoEnabled(false);
    pReceive->installEventFilter(this);

    CSendArea* pSend = m_pUi->editSend;
    pSend->setFont(BoxFont());
    pSend->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pSend->installEventFilter(this);

    m_pDisplayTimer->setSingleShot(true);
    m_pDisplayTimer->setInterval(kDisplayIntervalMs);
    m_pSaveTimer->setSingleShot(true);
    m_pSaveTimer->setInterval(kSaveDelayMs);
    connect(m_pSendTimer, &QTimer::timeout, this, &CComAssistDialog::OnSendTick);
    connect(m_pArchiveTimer, &QTimer::timeout, this, &CComAssistDialog::OnArchiveTick);
    connect(m_pCountTimer, &QTimer::timeout, this, &CComAssistDialog::OnCountTick);
    connect(m_pSpeedTimer, &QTimer::timeout, this, &CComAssistDialog::OnSpeedTick);
    connect(m_pDisplayTimer, &QTimer::timeout, this, &CComAssistDialog::AppendToBox);
    connect(m_pSaveTimer, &QTimer::timeout, this, &CComAssistDialog::SaveSendText);

    connect(m_pUi->buttonSend, &QPushButton::clicked, this, &CComAssistDialog::SendNow);
    connect(m_pUi->buttonClearReceive, &QPushButton::clicked, this,
            &CComAssistDialog::ClearReceive);
    connect(m_pUi->buttonClearSend, &QPushButton::clicked, this,
            &CComAssistDialog::OnClearSendClicked);
    connect(m_pUi->radioTextDisplay, &QRadioButton::clicked, this,
            [this] { SetDisplayMode(false); });
    connect(m_pUi->radioHexDisplay, &QRadioButton::clicked, this, [this] { SetDisplayMode(true); });
    connect(m_pUi->checkTimedSend, &QCheckBox::clicked, this,
            &CComAssistDialog::OnTimedSendClicked);
    connect(m_pUi->checkTimedArchive, &QCheckBox::clicked, this,
            &CComAssistDialog::OnTimedArchiveClicked);
    connect(m_pUi->checkStatistics, &QCheckBox::clicked, this,
            &CComAssistDialog::OnStatisticsClicked);
    for (QAbstractButton* pButton : {static_cast<QAbstractButton*>(m_pUi->checkHexSend),
                                     static_cast<QAbstractButton*>(m_pUi->radioCtrlSend),
                                     static_cast<QAbstractButton*>(m_pUi->radioCtrlEnterSend),
                                     static_cast<QAbstractButton*>(m_pUi->radioJavaScript),
                                     static_cast<QAbstractButton*>(m_pUi->radioVBScript)})
        connect(pButton, &QAbstractButton::clicked, this, [this] { ReadControls(); });
    connect(m_pUi->editSendInterval, &QLineEdit::textEdited, this,
            &CComAssistDialog::OnSendIntervalEdited);
    connect(m_pUi->editArchiveInterval, &QLineEdit::textEdited, this,
            &CComAssistDialog::OnArchiveIntervalEdited);
    connect(pSend, &QPlainTextEdit::textChanged, this, &CComAssistDialog::OnSendTextEdited);

    // Blocks arrive on the link's I/O thread; the inbox queues them to this thread.
    m_pInbox = std::make_shared<CTerminalInbox>(
        this, [this](const QByteArray& data) { OnTerminalReceive(data); });
    Context().BusLink().SetTerminalReceiver(
        [pInbox = m_pInbox](const QByteArray& data) { pInbox->Push(data); });
    CPostedCall::Connect(&Context().BusLink(), &CBusLink::PortLost, this,
                         [this](const QString&) { OnPortLost(); });
    CPostedCall::Connect(&Context().BusLink(), &CBusLink::PortReconnected, this,
                         &CComAssistDialog::OnPortReconnected);

    SetTimerChecksEnabled(false);
    // Files of the working folder go by relative names: a folder name that is
    // not valid UTF-8 would not survive a round trip through QString.
    m_strArchiveDir.clear();
    LoadSendText();
    WriteControls();
}

CComAssistDialog::~CComAssistDialog()
{
    Context().BusLink().SetTerminalReceiver(nullptr);
    m_pInbox->Detach();
    // No box while the page goes: a failed last save leaves the previous file.
    if (m_pSaveTimer->isActive())
        m_pSendFile->Save(m_pUi->editSend->SendText());
}

void CComAssistDialog::SetWorkingDirectory(const QString& strDir)
{
    if (m_pSaveTimer->isActive())
        SaveSendText();
    m_strArchiveDir = QDir(strDir).absolutePath() + QLatin1Char('/');
    LoadSendText();
}

void CComAssistDialog::SetScriptControlsShown(bool bShown)
{
    m_pUi->groupScript->setVisible(bShown);
}

void CComAssistDialog::StopWorker()
{
    m_pScriptRun->StopAndJoin();
    if (m_pSaveTimer->isActive())
        SaveSendText();
}

// --- show, hide, port -------------------------------------------------------

void CComAssistDialog::OnPageShown()
{
    m_pInbox->Discard();
    ClearReceive();
    Context().TerminalShown().store(1);
    StartTerminal();
}

void CComAssistDialog::OnPageHidden()
{
    // A script of a page the user left writes nothing more onto the bus.
    m_pScriptRun->StopScript();
    Context().TerminalShown().store(0);
    StopTerminalTimers();
}

void CComAssistDialog::StartTerminal()
{
    ReadControls();
    if (!Context().IsPortOpen())
        Context().OpenBusPort();
    if (!Context().IsPortOpen()) {
        SetTimerChecksEnabled(false);
        return;
    }
    SetTimerChecksEnabled(true);
    m_pSpeedTimer->start(kSpeedIntervalMs);
    m_pCountTimer->start(kCountIntervalMs);
}

void CComAssistDialog::StopTerminalTimers()
{
    m_pSendTimer->stop();
    m_pArchiveTimer->stop();
    m_pCountTimer->stop();
    m_pSpeedTimer->stop();
}

void CComAssistDialog::SetTimerChecksEnabled(bool bEnabled)
{
    m_pUi->checkTimedSend->setEnabled(bEnabled);
    m_pUi->checkTimedArchive->setEnabled(bEnabled);
    m_pUi->checkStatistics->setEnabled(bEnabled);
}

void CComAssistDialog::OnPortLost()
{
    if (Context().TerminalShown().load() == 0 || !isVisible())
        return;
    // The window tells the user once; the page stops what would write to it.
    StopTerminalTimers();
    SetTimerChecksEnabled(false);
}

void CComAssistDialog::OnPortReconnected()
{
    if (Context().TerminalShown().load() == 0 || !isVisible())
        return;
    // What the loss stopped runs again as the user left it.
    StartTerminal();
    if (!Context().IsPortOpen())
        return;
    if (m_bTimedSend && m_nSendInterval > kMinSendInterval)
        m_pSendTimer->start(static_cast<int>(m_nSendInterval));
    if (m_bTimedArchive && m_nArchiveInterval >= kMinArchiveInterval)
        m_pArchiveTimer->start(static_cast<int>(m_nArchiveInterval));
}

void CComAssistDialog::closeEvent(QCloseEvent* event)
{
    Context().ClosePort();
    CTabPage::closeEvent(event);
}

// --- fields and controls ----------------------------------------------------

bool CComAssistDialog::ReadInterval(const QString& strText, unsigned nMin, unsigned nMax,
                                    unsigned& nValue)
{
    // A number is taken even out of range (the callers check their own
    // limits); the range message still ends the read.
    bool bOk = false;
    const uint nRead = strText.trimmed().toUInt(&bOk);
    if (bOk)
        nValue = nRead;
    if (!bOk || nRead < nMin || nRead > nMax) {
        ShowPageMessage(RangeMessage(nMin, nMax));
        return false;
    }
    return true;
}

bool CComAssistDialog::ReadControls()
{
    m_bTimedSend = m_pUi->checkTimedSend->isChecked();
    m_bTimedArchive = m_pUi->checkTimedArchive->isChecked();
    m_bStatistics = m_pUi->checkStatistics->isChecked();
    m_bHexSend = m_pUi->checkHexSend->isChecked();
    m_nScriptLanguage = m_pUi->radioVBScript->isChecked() ? 1 : 0;
    m_nSendKeyMode = m_pUi->radioCtrlEnterSend->isChecked() ? 1 : 0;
    return ReadInterval(m_pUi->editSendInterval->text(), 0, kMaxSendInterval, m_nSendInterval) &&
           ReadInterval(m_pUi->editArchiveInterval->text(), kMinArchiveInterval,
                        kMaxArchiveInterval, m_nArchiveInterval);
}

// The send area is not written back: what the user has there stays.
void CComAssistDialog::WriteControls()
{
    m_pUi->checkTimedSend->setChecked(m_bTimedSend);
    m_pUi->checkTimedArchive->setChecked(m_bTimedArchive);
    m_pUi->checkStatistics->setChecked(m_bStatistics);
    m_pUi->checkHexSend->setChecked(m_bHexSend);
    (m_nScriptLanguage != 0 ? m_pUi->radioVBScript : m_pUi->radioJavaScript)->setChecked(true);
    (m_nSendKeyMode != 0 ? m_pUi->radioCtrlEnterSend : m_pUi->radioCtrlSend)->setChecked(true);
    (m_port.IsHexDisplay() ? m_pUi->radioHexDisplay : m_pUi->radioTextDisplay)->setChecked(true);
    m_pUi->editSendInterval->setText(QString::number(m_nSendInterval));
    m_pUi->editArchiveInterval->setText(QString::number(m_nArchiveInterval));
    m_pUi->textSpeed->setText(m_strSpeedText);
}

void CComAssistDialog::ShowPageMessage(const QString& strText)
{
    m_bMessageOpen = true;
    Context().ShowMessage(strText);
    m_bMessageOpen = false;
}

void CComAssistDialog::OnSendIntervalEdited()
{
    ReadControls();
    WriteControls();
}

void CComAssistDialog::OnArchiveIntervalEdited()
{
    ReadControls();
    bool bOk = false;
    const uint nTyped = m_pUi->editArchiveInterval->text().trimmed().toUInt(&bOk);
    if (!bOk || nTyped < kMinArchiveInterval)
        m_nArchiveInterval = kMinArchiveInterval;
    WriteControls();
}

// --- sending ----------------------------------------------------------------

void CComAssistDialog::SendNow()
{
    ReadControls();
    SendSendArea(false);
}

void CComAssistDialog::SendSendArea(bool bFromTimer)
{
    const QString strText = m_pUi->editSend->SendText();
    const bool bHex = bFromTimer ? m_bHexSend : m_pUi->checkHexSend->isChecked();
    if (!bHex) {
        m_port.SendTextData(CTerminalPort::EncodeSendText(strText));
        return;
    }
    QByteArray bytes;
    qsizetype nStop = 0;
    const int nCount = ParseHexText(strText, bytes, &nStop);
    m_port.SendByteData(bytes);
    if (IsBlankTail(strText, nStop)) {
        m_strLastHexReport.clear();
    } else if (strText != m_strLastHexReport) {
        // Once per text: a timer sending the same text says it once.
        m_strLastHexReport = strText;
        Context().SetStatusText(QString::fromUtf8("十六进制发送在第%1个字符处停止,已发送%2字节")
                                    .arg(nStop + 1)
                                    .arg(nCount));
    }
}

bool CComAssistDialog::eventFilter(QObject* pWatched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return CTabPage::eventFilter(pWatched, event);
    auto* pKey = static_cast<QKeyEvent*>(event);
    if (pWatched == m_pUi->editSend &&
        (pKey->key() == Qt::Key_Return || pKey->key() == Qt::Key_Enter)) {
        ReadControls();
        const bool bCtrl = pKey->modifiers().testFlag(Qt::ControlModifier);
        if (bCtrl == (m_nSendKeyMode == 1)) {
            SendNow();
        } else if (!m_pUi->editSend->isReadOnly()) {
            m_pUi->editSend->textCursor().insertText(QStringLiteral("\n"));
            m_pUi->editSend->ensureCursorVisible();
        }
        return true;
    }
    if (pWatched == m_pUi->editReceive) {
        // Each typed character goes to the bus at once, control characters
        // (Ctrl+C is 0x03) included, and is shown where the received text ends.
        // Copying stays on the context menu and Ctrl+Insert.
        const QByteArray typed = TypedBytes(*pKey);
        if (typed.isEmpty())
            return CTabPage::eventFilter(pWatched, event);
        m_port.SendTextData(typed);
        EchoTyped(pKey->modifiers().testFlag(Qt::ControlModifier) ? QString() : pKey->text());
        return true;
    }
    return CTabPage::eventFilter(pWatched, event);
}

void CComAssistDialog::OnClearSendClicked()
{
    m_bSettingSendText = true;
    m_pUi->editSend->SetSendText(QString());
    m_bSettingSendText = false;
    WriteControls();
}

// --- scripts ----------------------------------------------------------------

void CComAssistDialog::OnRunScriptClicked()
{
    if (m_pScriptRun->IsRunning())
        return;
    ReadControls();
    // Disabled here, before the thread starts: a second click starts nothing.
    m_pUi->buttonRunScript->setEnabled(false);
    const auto language =
        m_nScriptLanguage != 0 ? CScriptRun::Language::VBScript : CScriptRun::Language::JavaScript;
    m_pScriptRun->RunScript(m_pUi->editSend->SendText(), language);
}

void CComAssistDialog::OnScriptEnded(CScriptRun::Outcome outcome, const QString& strReport)
{
    m_pUi->buttonRunScript->setEnabled(true);
    if (outcome == CScriptRun::Outcome::Failed)
        ShowPageMessage(strReport);
}

// --- timers -----------------------------------------------------------------

void CComAssistDialog::OnTimedSendClicked()
{
    ReadControls();
    if (!m_bTimedSend) {
        m_pSendTimer->stop();
        return;
    }
    if (m_nSendInterval <= kMinSendInterval) {
        ShowPageMessage(QString::fromUtf8("定时发送的时间间隔太小"));
        return;
    }
    m_pSendTimer->start(static_cast<int>(m_nSendInterval));
}

void CComAssistDialog::OnTimedArchiveClicked()
{
    ReadControls();
    if (!m_bTimedArchive) {
        m_pArchiveTimer->stop();
        return;
    }
    if (m_nArchiveInterval < kMinArchiveInterval) {
        ShowPageMessage(QString::fromUtf8("定时保存的时间间隔太小"));
        return;
    }
    m_bArchiveFailureShown = false;
    m_pArchiveTimer->start(static_cast<int>(m_nArchiveInterval));
}

void CComAssistDialog::OnStatisticsClicked()
{
    ReadControls();
    if (m_bStatistics && Context().IsPortOpen())
        m_pCountTimer->start(kCountIntervalMs);
    else
        m_pCountTimer->stop();
}

void CComAssistDialog::OnSendTick()
{
    // No box over a box, and no more bytes while earlier ones still wait for the line.
    if (m_bMessageOpen || Context().BusLink().PendingOutput() > 0)
        return;
    SendSendArea(true);
}

void CComAssistDialog::OnArchiveTick()
{
    if (m_bMessageOpen)
        return;
    ArchiveNow(true);
}

void CComAssistDialog::OnCountTick()
{
    m_pUi->textReceivedCount->setText(QString::number(static_cast<qint32>(m_port.ReceivedBytes())));
    m_pUi->textSentCount->setText(QString::number(static_cast<qint32>(m_port.SentBytes())));
}

void CComAssistDialog::OnSpeedTick()
{
    m_strSpeedText = m_port.TakeSpeedText();
    m_pUi->textSpeed->setText(m_strSpeedText);
}

// --- receiving --------------------------------------------------------------

void CComAssistDialog::OnTerminalReceive(const QByteArray& block)
{
    const QByteArray pieces = m_port.OnTerminalReceive(block);
    m_strPendingDisplay += m_display.Convert(pieces, m_port.IsHexDisplay());
    if (!m_pDisplayTimer->isActive())
        m_pDisplayTimer->start();
}

void CComAssistDialog::AppendToBox()
{
    QPlainTextEdit* pBox = m_pUi->editReceive;
    QString strPending;
    strPending.swap(m_strPendingDisplay);
    // More than the box keeps replaces the box's text instead of growing it.
    if (strPending.size() >= kMaxDisplayChars) {
        pBox->setPlainText(strPending.right(kMaxDisplayChars));
    } else if (!strPending.isEmpty()) {
        QTextCursor cursor(pBox->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(strPending);
        QTextDocument* pDocument = pBox->document();
        // The box keeps the newest text: whole lines go from the top once it
        // holds a quarter more than it shows.
        if (pDocument->characterCount() > kMaxDisplayChars + kMaxDisplayChars / 4) {
            const QTextBlock first =
                pDocument->findBlock(pDocument->characterCount() - kMaxDisplayChars);
            QTextCursor cut(pDocument);
            cut.setPosition(first.position(), QTextCursor::KeepAnchor);
            cut.removeSelectedText();
        }
    }
    pBox->verticalScrollBar()->setValue(pBox->verticalScrollBar()->maximum());
}

void CComAssistDialog::EchoTyped(const QString& strText)
{
    QString strShown;
    for (const QChar ch : strText)
        if (ch == QLatin1Char('\r'))
            strShown += QLatin1Char('\n');
        else if (ch.isPrint() || ch == QLatin1Char('\t'))
            strShown += ch;
    if (strShown.isEmpty())
        return;
    // Received text still waiting for the box comes first.
    AppendToBox();
    QPlainTextEdit* pBox = m_pUi->editReceive;
    QTextCursor cursor(pBox->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(strShown);
    pBox->verticalScrollBar()->setValue(pBox->verticalScrollBar()->maximum());
}

void CComAssistDialog::ClearBox()
{
    m_pDisplayTimer->stop();
    m_strPendingDisplay.clear();
    m_display.Reset();
    m_pUi->editReceive->clear();
}

void CComAssistDialog::ClearReceive()
{
    ClearBox();
    m_port.ClearReceive();
    m_pUi->textReceivedCount->setText(QStringLiteral("0"));
    m_pUi->textSentCount->setText(QStringLiteral("0"));
}

void CComAssistDialog::SetDisplayMode(bool bHex)
{
    m_port.SetHexDisplay(bHex);
    ClearBox();
    m_strPendingDisplay = m_display.Rebuild(m_port.ReceiveText(), bHex, kMaxDisplayChars);
    AppendToBox();
}

// --- archive ----------------------------------------------------------------

void CComAssistDialog::ArchiveReceive()
{
    ArchiveNow(false);
}

void CComAssistDialog::ArchiveNow(bool bReportOnce)
{
    if (m_port.ReceiveText().isEmpty())
        return;
    const QByteArray content = m_port.ReceiveText() + CGbkCodec::Encode(m_strSpeedText);
    const CTerminalArchive::Outcome outcome =
        CTerminalArchive::Write(m_strArchiveDir, QDateTime::currentDateTime(), content);
    if (outcome.m_result == CTerminalArchive::Result::Written) {
        // Emptied only once the file holds the text.
        m_port.EmptyReceived();
        ClearBox();
        return;
    }
    if (bReportOnce && m_bArchiveFailureShown)
        return;
    m_bArchiveFailureShown = true;
    if (outcome.m_result == CTerminalArchive::Result::CreateFailed)
        ShowPageMessage(QString::fromUtf8("文件创建失败"));
    else
        ShowPageMessage(QString::fromUtf8("写文件错误,错误码:%1").arg(outcome.m_nError));
}

// --- send text file ---------------------------------------------------------

void CComAssistDialog::LoadSendText()
{
    m_pSendFile = std::make_unique<CSendTextFile>(m_strArchiveDir);
    QString strText;
    m_pSendFile->Load(strText);
    m_bSettingSendText = true;
    m_pUi->editSend->SetSendText(strText);
    m_bSettingSendText = false;
}

void CComAssistDialog::OnSendTextEdited()
{
    if (!m_bSettingSendText)
        m_pSaveTimer->start();
}

void CComAssistDialog::SaveSendText()
{
    m_pSaveTimer->stop();
    if (m_pSendFile->Save(m_pUi->editSend->SendText()) || m_bSaveFailureShown)
        return;
    m_bSaveFailureShown = true;
    ShowPageMessage(
        QString::fromUtf8("%1 保存失败:%2")
            .arg(QDir::toNativeSeparators(m_pSendFile->Path()), m_pSendFile->ErrorText()));
}
