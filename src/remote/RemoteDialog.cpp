#include "remote/RemoteDialog.h"

#include "remote/RemoteMonitor.h"
#include "ui_RemoteDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* AddEdit(QGridLayout* pGrid, int nRow, int nColumn, const QString& strLabel,
                   const QString& strName)
{
    auto* pEdit = new QLineEdit;
    pEdit->setObjectName(strName);
    pGrid->addWidget(new QLabel(strLabel), nRow, nColumn);
    pGrid->addWidget(pEdit, nRow, nColumn + 1);
    return pEdit;
}

QLabel* AddValue(QFormLayout* pForm, const QString& strLabel, const QString& strName)
{
    auto* pValue = new QLabel;
    pValue->setObjectName(strName);
    pValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pForm->addRow(strLabel, pValue);
    return pValue;
}

} // namespace

CRemoteDialog::CRemoteDialog(CPageContext& context, CRemoteMonitor& monitor,
                             const QString& strSettingsFile, QWidget* parent)
    : CTabPage(context, parent), m_monitor(monitor), m_strSettingsFile(strSettingsFile),
      m_pUi(std::make_unique<Ui::RemoteDialog>())
{
    m_pUi->setupUi(this);
    m_pUi->buttonButton1->hide();
    BuildSettingsGroup();
    BuildStatusGroup();
    const MqttSettings settings = MqttSettings::Load(m_strSettingsFile);
    ShowSettings(settings);

    connect(m_pUi->buttonConnect, &QPushButton::clicked, this, &CRemoteDialog::OnConnectClicked);
    connect(m_pTls, &QCheckBox::toggled, this, &CRemoteDialog::OnTlsToggled);
    connect(m_pConnectAtStart, &QCheckBox::toggled, this, [this](bool bOn) {
        MqttSettings stored = MqttSettings::Load(m_strSettingsFile);
        stored.m_bConnectAtStart = bOn;
        stored.Save(m_strSettingsFile);
    });
    connect(&m_refresh, &QTimer::timeout, this, &CRemoteDialog::Refresh);
    m_refresh.start(kRefreshMs);

    if (settings.m_bConnectAtStart && settings.Check().m_strField.isEmpty() &&
        !m_monitor.IsRunning())
        m_monitor.Start(settings);
    Refresh();
}

CRemoteDialog::~CRemoteDialog() = default;

void CRemoteDialog::BuildSettingsGroup()
{
    auto* pGroup = new QGroupBox(QStringLiteral("发布设置"), this);
    pGroup->setObjectName(QStringLiteral("groupPublish"));
    pGroup->setGeometry(37, 95, 700, 190);
    auto* pGrid = new QGridLayout(pGroup);
    m_pPrefix = AddEdit(pGrid, 0, 0, QStringLiteral("主题前缀:"), QStringLiteral("editPrefix"));
    m_pPrefix->setPlaceholderText(MqttSettings::DefaultPrefix());
    m_pClientId =
        AddEdit(pGrid, 0, 2, QStringLiteral("客户端标识:"), QStringLiteral("editClientId"));
    m_pClientId->setPlaceholderText(MqttSettings::DefaultClientId());
    m_pUser = AddEdit(pGrid, 1, 0, QStringLiteral("用户名:"), QStringLiteral("editUser"));
    m_pPassword = AddEdit(pGrid, 1, 2, QStringLiteral("密码:"), QStringLiteral("editPassword"));
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pSavePassword = new QCheckBox(QStringLiteral("保存密码"));
    m_pSavePassword->setObjectName(QStringLiteral("checkSavePassword"));
    pGrid->addWidget(m_pSavePassword, 1, 4);
    m_pTls = new QCheckBox(QStringLiteral("TLS 加密"));
    m_pTls->setObjectName(QStringLiteral("checkTls"));
    pGrid->addWidget(m_pTls, 2, 0, 1, 2);
    m_pCaFile = AddEdit(pGrid, 2, 2, QStringLiteral("CA 证书:"), QStringLiteral("editCaFile"));
    m_pCertFile =
        AddEdit(pGrid, 3, 0, QStringLiteral("客户端证书:"), QStringLiteral("editCertFile"));
    m_pKeyFile = AddEdit(pGrid, 3, 2, QStringLiteral("私钥:"), QStringLiteral("editKeyFile"));
    pGrid->addWidget(new QLabel(QStringLiteral("QoS:")), 4, 0);
    m_pQos = new QComboBox;
    m_pQos->setObjectName(QStringLiteral("comboQos"));
    m_pQos->addItems({QStringLiteral("0"), QStringLiteral("1")});
    pGrid->addWidget(m_pQos, 4, 1);
    m_pConnectAtStart = new QCheckBox(QStringLiteral("启动时连接"));
    m_pConnectAtStart->setObjectName(QStringLiteral("checkConnectAtStart"));
    pGrid->addWidget(m_pConnectAtStart, 4, 2, 1, 2);

    m_pProblem = new QLabel(this);
    m_pProblem->setObjectName(QStringLiteral("labelProblem"));
    m_pProblem->setStyleSheet(QStringLiteral("color: #c00000"));
    m_pProblem->setGeometry(575, 16, 200, 80);
    m_pProblem->setWordWrap(true);
}

void CRemoteDialog::BuildStatusGroup()
{
    auto* pGroup = new QGroupBox(QStringLiteral("连接状态"), this);
    pGroup->setObjectName(QStringLiteral("groupStatus"));
    pGroup->setGeometry(37, 295, 700, 160);
    auto* pForm = new QFormLayout(pGroup);
    m_pState = AddValue(pForm, QStringLiteral("状态:"), QStringLiteral("labelState"));
    m_pPublished = AddValue(pForm, QStringLiteral("已发布:"), QStringLiteral("labelPublished"));
    m_pQueued = AddValue(pForm, QStringLiteral("排队中:"), QStringLiteral("labelQueued"));
    m_pDropped = AddValue(pForm, QStringLiteral("已丢弃:"), QStringLiteral("labelDropped"));
    m_pLastError = AddValue(pForm, QStringLiteral("最后错误:"), QStringLiteral("labelLastError"));
}

MqttSettings CRemoteDialog::Settings() const
{
    MqttSettings s;
    s.m_strHost = m_pUi->editAddress->text().trimmed();
    bool bOk = false;
    s.m_nPort = m_pUi->editPort->text().trimmed().toInt(&bOk);
    if (!bOk)
        s.m_nPort = 0;
    s.m_strPrefix = m_pPrefix->text().trimmed();
    s.m_strClientId = m_pClientId->text().trimmed();
    s.m_strUser = m_pUser->text();
    s.m_strPassword = m_pPassword->text();
    s.m_bSavePassword = m_pSavePassword->isChecked();
    s.m_bTls = m_pTls->isChecked();
    s.m_strCaFile = m_pCaFile->text().trimmed();
    s.m_strCertFile = m_pCertFile->text().trimmed();
    s.m_strKeyFile = m_pKeyFile->text().trimmed();
    s.m_nQos = m_pQos->currentIndex();
    s.m_bConnectAtStart = m_pConnectAtStart->isChecked();
    return s;
}

void CRemoteDialog::ShowSettings(const MqttSettings& s)
{
    const QSignalBlocker tlsBlocker(m_pTls);
    const QSignalBlocker startBlocker(m_pConnectAtStart);
    m_pUi->editAddress->setText(s.m_strHost);
    m_pUi->editPort->setText(QString::number(s.m_nPort));
    m_pPrefix->setText(s.m_strPrefix);
    m_pClientId->setText(s.m_strClientId);
    m_pUser->setText(s.m_strUser);
    m_pPassword->setText(s.m_strPassword);
    m_pSavePassword->setChecked(s.m_bSavePassword);
    m_pTls->setChecked(s.m_bTls);
    m_pCaFile->setText(s.m_strCaFile);
    m_pCertFile->setText(s.m_strCertFile);
    m_pKeyFile->setText(s.m_strKeyFile);
    m_pQos->setCurrentIndex(s.m_nQos);
    m_pConnectAtStart->setChecked(s.m_bConnectAtStart);
}

void CRemoteDialog::OnTlsToggled(bool bOn)
{
    const QString strFrom =
        QString::number(bOn ? MqttSettings::kDefaultPort : MqttSettings::kDefaultTlsPort);
    if (m_pUi->editPort->text().trimmed() == strFrom)
        m_pUi->editPort->setText(
            QString::number(bOn ? MqttSettings::kDefaultTlsPort : MqttSettings::kDefaultPort));
}

void CRemoteDialog::OnConnectClicked()
{
    const CMqttPublisher::State state = m_monitor.GetStatus().m_state;
    if (m_monitor.IsRunning() && state != CMqttPublisher::State::Refused) {
        m_monitor.Stop(0);
        Refresh();
        return;
    }
    const MqttSettings settings = Settings();
    const MqttSettings::Problem problem = settings.Check();
    ShowProblem(problem);
    if (!problem.m_strField.isEmpty())
        return;
    if (!settings.Save(m_strSettingsFile))
        m_pProblem->setText(QStringLiteral("设置无法保存"));
    m_monitor.Start(settings);
    Refresh();
}

void CRemoteDialog::ShowProblem(const MqttSettings::Problem& problem)
{
    QWidget* const arrFields[] = {m_pUi->editAddress, m_pUi->editPort, m_pPrefix,
                                  m_pCaFile,          m_pCertFile,     m_pKeyFile};
    const char* const arrNames[] = {"host", "port", "prefix", "ca", "cert", "key"};
    m_pProblem->setText(problem.m_strMessage);
    for (int i = 0; i < 6; ++i) {
        const bool bAtFault = problem.m_strField == QLatin1String(arrNames[i]);
        arrFields[i]->setStyleSheet(bAtFault ? QStringLiteral("border: 1px solid #c00000")
                                             : QString());
        if (bAtFault)
            arrFields[i]->setFocus();
    }
}

void CRemoteDialog::Refresh()
{
    const CMqttPublisher::Status status = m_monitor.GetStatus();
    const bool bRunning = m_monitor.IsRunning();
    const bool bActive = bRunning && status.m_state != CMqttPublisher::State::Refused;
    m_pUi->buttonConnect->setText(bActive ? QStringLiteral("断开连接")
                                          : QStringLiteral("连接服务器"));
    m_pState->setText(bRunning ? CMqttPublisher::StateText(status) : QStringLiteral("未连接"));
    m_pPublished->setText(QString::number(status.m_nPublished));
    m_pQueued->setText(QString::number(status.m_nQueued));
    m_pDropped->setText(QString::number(status.m_nDropped));
    m_pLastError->setText(status.m_strError.isEmpty()
                              ? QString()
                              : QStringLiteral("%1 (%2)").arg(
                                    status.m_strError, status.m_tError.toString(
                                                           QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
}
