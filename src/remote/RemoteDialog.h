#pragma once

#include "remote/MqttSettings.h"
#include "uikit/TabPage.h"

#include <QTimer>

#include <memory>

namespace Ui {
class RemoteDialog;
}
class CRemoteMonitor;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The remote monitoring page: the broker, topic prefix, identity, TLS and
// delivery settings, "连接服务器" / "断开连接", and a live view of the
// connection (state, messages published, queued and dropped, the last error).
// The connection belongs to the session's monitor, so it stays up while other
// pages read; this page only starts, stops and watches it.
class CRemoteDialog : public CTabPage
{
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;

    CRemoteDialog(CPageContext& context, CRemoteMonitor& monitor, const QString& strSettingsFile,
                  QWidget* parent = nullptr);
    ~CRemoteDialog() override;

    // The fields as settings, and the settings into the fields.
    MqttSettings Settings() const;
    void ShowSettings(const MqttSettings& settings);

private:
    void BuildSettingsGroup();
    void BuildStatusGroup();
    void OnConnectClicked();
    void OnTlsToggled(bool bOn);
    void Refresh();
    void ShowProblem(const MqttSettings::Problem& problem);

    CRemoteMonitor& m_monitor;
    QString m_strSettingsFile;
    std::unique_ptr<Ui::RemoteDialog> m_pUi;
    QLineEdit* m_pPrefix = nullptr;
    QLineEdit* m_pClientId = nullptr;
    QLineEdit* m_pUser = nullptr;
    QLineEdit* m_pPassword = nullptr;
    QCheckBox* m_pSavePassword = nullptr;
    QCheckBox* m_pTls = nullptr;
    QLineEdit* m_pCaFile = nullptr;
    QLineEdit* m_pCertFile = nullptr;
    QLineEdit* m_pKeyFile = nullptr;
    QComboBox* m_pQos = nullptr;
    QCheckBox* m_pConnectAtStart = nullptr;
    QLabel* m_pProblem = nullptr;
    QLabel* m_pState = nullptr;
    QLabel* m_pPublished = nullptr;
    QLabel* m_pQueued = nullptr;
    QLabel* m_pDropped = nullptr;
    QLabel* m_pLastError = nullptr;
    QTimer m_refresh;
};
