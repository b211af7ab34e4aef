#include "multi/32DisplayDialog.h"

#include "link/PostedCall.h"
#include "multi/CircleSetDialog.h"
#include "multi/GridColour.h"
#include "multi/PatrolWorker.h"
#include "ui_32DisplayDialog.h"

#include <QDir>
#include <QHeaderView>
#include <QMouseEvent>
#include <QResizeEvent>

#include <cstdio>

namespace {

const char* const kSaveCaption = "保存数据";
const char* const kStopSaveCaption = "停止保存";
const char* const kPatrolCaption = "开始巡检";
const char* const kStopPatrolCaption = "停止巡检";

} // namespace

C32DisplayDialog::C32DisplayDialog(CPageContext& context, QWidget* parent)
    : CTabPage(context, parent), m_pUi(std::make_unique<Ui::C32DisplayDialog>()),
      m_pWorker(std::make_unique<CPatrolWorker>(context.BusLink(), m_recorder))
{
    m_pUi->setupUi(this);
    const QRect rcForm = geometry();
    const QRect rcGrid = m_pUi->grid->geometry();
    m_rcGridMargins =
        QRect(QPoint(rcGrid.left(), rcGrid.top()),
              QPoint(rcForm.width() - rcGrid.right(), rcForm.height() - rcGrid.bottom()));

    for (CWBButton* pButton : {m_pUi->buttonPatrol, m_pUi->buttonSave, m_pUi->buttonSettings})
        pButton->LoadStandardSkin();

    QTableWidget* pGrid = m_pUi->grid;
    pGrid->horizontalHeader()->hide();
    pGrid->verticalHeader()->hide();
    pGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pGrid->setSelectionMode(QAbstractItemView::NoSelection);
    pGrid->setFocusPolicy(Qt::NoFocus);
    pGrid->viewport()->installEventFilter(this);
    for (int i = 0; i < kCells; ++i) {
        auto* pItem = new QTableWidgetItem;
        pGrid->setItem(i % kRows, i / kRows, pItem);
        ClearCell(i);
    }
    LayoutGrid();
    ApplyGridColours();

    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setInterval(kRepaintMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, &C32DisplayDialog::ShowPending);

    CPatrolSequence& sequence = m_pWorker->Sequence();
    sequence.SetMaxAddress(m_settings.m_nMaxAddress);
    sequence.SetTimeout(m_settings.m_nTimeout);
    SetPublishedDisplay();
    connect(m_pWorker.get(), &CPatrolWorker::AddressStarted, this,
            &C32DisplayDialog::OnAddressStarted);
    connect(m_pWorker.get(), &CPatrolWorker::ReadDone, this, &C32DisplayDialog::OnReadDone);
    connect(m_pWorker.get(), &CPatrolWorker::CycleDone, this, &C32DisplayDialog::OnCycleDone);
    m_recorder.SetFailureReporter(
        [this](const CPatrolRecorder::Failure& failure) { OnRecordFailure(failure); });

    connect(m_pUi->buttonSettings, &QPushButton::clicked, this,
            &C32DisplayDialog::OnSettingsClicked);
    connect(m_pUi->buttonPatrol, &QPushButton::clicked, this, &C32DisplayDialog::OnPatrolClicked);
    connect(m_pUi->buttonSave, &QPushButton::clicked, this, &C32DisplayDialog::OnSaveClicked);
}

C32DisplayDialog::~C32DisplayDialog()
{
    StopWorker();
    m_recorder.SetFailureReporter(nullptr);
}

QTableWidget* C32DisplayDialog::Grid() const
{
    return m_pUi->grid;
}

void C32DisplayDialog::StopWorker()
{
    SetPatrolling(false);
    m_pWorker->StopAndJoin();
    m_recorder.Stop();
    m_bSaving = false;
    m_pUi->buttonSave->setText(QString::fromUtf8(kSaveCaption));
}

void C32DisplayDialog::OnPageShown()
{
    SetPatrolling(true);
}

void C32DisplayDialog::OnPageHidden()
{
    SetPatrolling(false);
}

void C32DisplayDialog::SetPatrolling(bool bPatrolling)
{
    // The port first: set-up commands sent to a closed port would only time out.
    if (bPatrolling && !Context().IsPortOpen())
        Context().OpenBusPort();
    m_bPatrolling = bPatrolling;
    m_pUi->buttonPatrol->setText(
        QString::fromUtf8(bPatrolling ? kStopPatrolCaption : kPatrolCaption));
    if (bPatrolling)
        m_pWorker->Start();
    else
        m_pWorker->RequestStop();
}

QString C32DisplayDialog::FormatValue(qint32 nValue, int nDecimals)
{
    static const double kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    const int nPlaces = qBound(0, nDecimals, CircleSettings::kMaxDecimals);
    char szText[64];
    std::snprintf(szText, sizeof szText, "%.*f", nPlaces, nValue / kPowers[nPlaces]);
    return QString::fromLatin1(szText);
}

QString C32DisplayDialog::FormatValue(qint32 nValue) const
{
    return FormatValue(nValue, m_settings.m_nDecimals);
}

void C32DisplayDialog::SetCell(int nAddress, qint32 nValue)
{
    if (nAddress < 0 || nAddress >= kCells)
        return;
    m_pUi->grid->item(nAddress % kRows, nAddress / kRows)
        ->setText(QStringLiteral("AD%1:%2").arg(nAddress).arg(FormatValue(nValue)));
}

void C32DisplayDialog::ClearCell(int nAddress)
{
    if (nAddress < 0 || nAddress >= kCells)
        return;
    m_pUi->grid->item(nAddress % kRows, nAddress / kRows)
        ->setText(QStringLiteral("AD%1:").arg(nAddress));
}

QString C32DisplayDialog::CellText(int nAddress) const
{
    if (nAddress < 0 || nAddress >= kCells)
        return QString();
    return m_pUi->grid->item(nAddress % kRows, nAddress / kRows)->text();
}

void C32DisplayDialog::OnAddressStarted(int nAddress)
{
    m_nPendingAddress = nAddress;
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

void C32DisplayDialog::OnReadDone(int nAddress, bool bOk, qint32 nValue)
{
    if (nAddress < 0 || nAddress >= kCells)
        return;
    m_arrPending[nAddress] = {true, bOk, nValue};
    m_pendingValue = bOk ? std::optional<qint32>(nValue) : std::nullopt;
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

void C32DisplayDialog::OnCycleDone(qint64 nElapsedMs)
{
    m_nPendingCycleMs = nElapsedMs;
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

void C32DisplayDialog::ShowPending()
{
    for (int i = 0; i < kCells; ++i) {
        PendingCell& cell = m_arrPending[i];
        if (!cell.m_bChanged)
            continue;
        if (cell.m_bOk)
            SetCell(i, cell.m_nValue);
        else
            ClearCell(i);
        cell.m_bChanged = false;
    }
    if (m_nPendingAddress)
        m_pUi->editAddress->setText(QString::number(*m_nPendingAddress));
    if (m_pendingValue)
        m_pUi->editValue->setText(*m_pendingValue ? QString::number(**m_pendingValue) : QString());
    if (m_nPendingCycleMs)
        m_pUi->editCycle->setText(QString::number(*m_nPendingCycleMs));
    m_nPendingAddress.reset();
    m_pendingValue.reset();
    m_nPendingCycleMs.reset();
}

void C32DisplayDialog::ApplySettings(const CircleSettings& settings)
{
    const QBrush brKept = m_settings.m_hBrush;
    m_settings = settings.Clamped();
    m_settings.m_hBrush = brKept;
    m_pWorker->Sequence().SetMaxAddress(m_settings.m_nMaxAddress);
    m_pWorker->Sequence().SetTimeout(m_settings.m_nTimeout);
    ApplyGridColours();
    SetPublishedDisplay();
}

void C32DisplayDialog::SetPublishedDisplay()
{
    const int nDecimals = m_settings.m_nDecimals;
    m_pWorker->Sequence().Poll().SetDisplay(
        [nDecimals](qint32 nValue) { return FormatValue(nValue, nDecimals); },
        CCircleSetDialog::UnitTexts().value(m_settings.m_nUnit));
}

void C32DisplayDialog::OnSettingsClicked()
{
    m_settings.m_hBrush = BackgroundBrush();
    CCircleSetDialog dialog(this);
    dialog.SetSettings(m_settings);
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings(dialog.GetSettings());
    update();
}

void C32DisplayDialog::OnPatrolClicked()
{
    SetPatrolling(!m_bPatrolling);
}

void C32DisplayDialog::OnSaveClicked()
{
    if (!m_bSaving) {
        m_bSaving = true;
        m_pUi->buttonSave->setText(QString::fromUtf8(kStopSaveCaption));
        // The working folder by relative names: its own name may not be valid UTF-8.
        m_recorder.Start(QString(), m_settings.m_nMaxAddress);
        Context().SetRecordingFile(m_recorder.FilePath(0));
    } else {
        m_bSaving = false;
        m_pUi->buttonSave->setText(QString::fromUtf8(kSaveCaption));
        m_recorder.Stop();
        Context().SetRecordingFile(QString());
        Context().SetStatusText(
            QStringLiteral("已停止记录: %1 … %2")
                .arg(m_recorder.FilePath(0), m_recorder.FilePath(m_settings.m_nMaxAddress)));
    }
}

void C32DisplayDialog::OnRecordFailure(const CPatrolRecorder::Failure& failure)
{
    if (!failure.m_bFirstOfRecording)
        return;
    const QString strText = QString::fromUtf8("写文件错误,错误码:%1").arg(failure.m_nError);
    CPostedCall::Post(this, [this, strText] { Context().ShowMessage(strText); });
}

void C32DisplayDialog::resizeEvent(QResizeEvent* event)
{
    CTabPage::resizeEvent(event);
    LayoutGrid();
}

void C32DisplayDialog::LayoutGrid()
{
    // The grid keeps the form's distances to the page's edges.
    QTableWidget* pGrid = m_pUi->grid;
    const QRect rcGrid(m_rcGridMargins.topLeft(),
                       QPoint(qMax(m_rcGridMargins.left(), width() - m_rcGridMargins.right()),
                              qMax(m_rcGridMargins.top(), height() - m_rcGridMargins.bottom())));
    pGrid->setGeometry(rcGrid);
    const QSize szFrame = pGrid->size() - pGrid->contentsRect().size();
    const int nWidth = (rcGrid.width() - szFrame.width()) / kColumns;
    const int nHeight = (rcGrid.height() - szFrame.height()) / kRows;
    for (int c = 0; c < kColumns; ++c)
        pGrid->setColumnWidth(c, qMax(1, nWidth));
    for (int r = 0; r < kRows; ++r)
        pGrid->setRowHeight(r, qMax(1, nHeight));
}

void C32DisplayDialog::ApplyGridColours()
{
    QTableWidget* pGrid = m_pUi->grid;
    QPalette palette = pGrid->palette();
    palette.setColor(QPalette::Text, CGridColour::ColorFromRef(m_settings.m_crGridFore));
    palette.setColor(QPalette::Base, CGridColour::ColorFromRef(m_settings.m_crGridBack));
    pGrid->setPalette(palette);
}

bool C32DisplayDialog::eventFilter(QObject* pWatched, QEvent* event)
{
    // Left clicks never reach the grid: no cell is ever selected.
    if (pWatched == m_pUi->grid->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                return true;
            break;
        default:
            break;
        }
    }
    return CTabPage::eventFilter(pWatched, event);
}
