#include "remote/MqttSettings.h"

#include "settings/SettingsSetAside.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Remote");

QString ShortHostName()
{
    const QString strHost = QHostInfo::localHostName().section(QLatin1Char('.'), 0, 0);
    return strHost.isEmpty() ? QStringLiteral("host") : strHost;
}

QString UnreadableFile(const QString& strPath, const QString& strWhat)
{
    QFile file(strPath);
    if (!QFileInfo(strPath).isFile() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1无法读取: %2").arg(strWhat, strPath);
    return QString();
}

} // namespace

QString MqttSettings::DefaultPrefix()
{
    return QStringLiteral("tolvex/") + ShortHostName();
}

QString MqttSettings::DefaultClientId()
{
    return QStringLiteral("tolvex-") + ShortHostName();
}

MqttSettings::Problem MqttSettings::Check() const
{
    if (m_strHost.trimmed().isEmpty())
        return {QStringLiteral("host"), QStringLiteral("请输入服务器地址")};
    if (m_nPort < 1 || m_nPort > 65535)
        return {QStringLiteral("port"), QStringLiteral("端口号应在 1 到 65535 之间")};
    const QString strPrefix = Prefix();
    if (strPrefix.contains(QLatin1Char('+')) || strPrefix.contains(QLatin1Char('#')) ||
        strPrefix.contains(QChar(0)))
        return {QStringLiteral("prefix"), QStringLiteral("主题前缀不能含有 +、# 或空字符")};
    if (m_nQos != 0 && m_nQos != 1)
        return {QStringLiteral("qos"), QStringLiteral("QoS 只能是 0 或 1")};
    if (m_bTls) {
        if (m_strCaFile.isEmpty())
            return {QStringLiteral("ca"), QStringLiteral("TLS 需要 CA 证书文件")};
        if (const QString str = UnreadableFile(m_strCaFile, QStringLiteral("CA 证书文件"));
            !str.isEmpty())
            return {QStringLiteral("ca"), str};
        if (m_strCertFile.isEmpty() != m_strKeyFile.isEmpty())
            return {m_strCertFile.isEmpty() ? QStringLiteral("cert") : QStringLiteral("key"),
                    QStringLiteral("客户端证书和私钥需同时给出")};
        if (!m_strCertFile.isEmpty()) {
            if (const QString str = UnreadableFile(m_strCertFile, QStringLiteral("客户端证书"));
                !str.isEmpty())
                return {QStringLiteral("cert"), str};
            if (const QString str = UnreadableFile(m_strKeyFile, QStringLiteral("私钥文件"));
                !str.isEmpty())
                return {QStringLiteral("key"), str};
        }
    }
    return {};
}

MqttSettings MqttSettings::Load(const QString& strSettingsFile)
{
    if (!CSettingsSetAside::IsUsable(strSettingsFile))
        return MqttSettings();
    QSettings store(strSettingsFile, QSettings::IniFormat);
    store.beginGroup(kGroup);
    MqttSettings s;
    s.m_strHost = store.value(QStringLiteral("Host")).toString();
    s.m_bTls = store.value(QStringLiteral("Tls"), false).toBool();
    s.m_nPort =
        store.value(QStringLiteral("Port"), s.m_bTls ? kDefaultTlsPort : kDefaultPort).toInt();
    // A port no broker can have (a hand-edited file) is back at its default.
    if (s.m_nPort < 1 || s.m_nPort > 65535)
        s.m_nPort = s.m_bTls ? kDefaultTlsPort : kDefaultPort;
    s.m_strPrefix = store.value(QStringLiteral("Prefix")).toString();
    s.m_strClientId = store.value(QStringLiteral("ClientId")).toString();
    s.m_strUser = store.value(QStringLiteral("User")).toString();
    s.m_bSavePassword = store.value(QStringLiteral("SavePassword"), false).toBool();
    if (s.m_bSavePassword)
        s.m_strPassword = store.value(QStringLiteral("Password")).toString();
    s.m_strCaFile = store.value(QStringLiteral("CaFile")).toString();
    s.m_strCertFile = store.value(QStringLiteral("CertFile")).toString();
    s.m_strKeyFile = store.value(QStringLiteral("KeyFile")).toString();
    s.m_nQos = store.value(QStringLiteral("Qos"), 1).toInt() == 0 ? 0 : 1;
    s.m_bConnectAtStart = store.value(QStringLiteral("ConnectAtStart"), false).toBool();
    return s;
}

bool MqttSettings::Save(const QString& strSettingsFile) const
{
    if (!CSettingsSetAside::IsUsable(strSettingsFile))
        return false;
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    // The file is made private before the password goes in.
    if (m_bSavePassword) {
        QFile file(strSettingsFile);
        if (!file.open(QIODevice::ReadWrite) || !file.setPermissions(ownerOnly))
            return false;
    }
    {
        QSettings store(strSettingsFile, QSettings::IniFormat);
        store.beginGroup(kGroup);
        store.setValue(QStringLiteral("Host"), m_strHost);
        store.setValue(QStringLiteral("Port"), m_nPort);
        store.setValue(QStringLiteral("Prefix"), m_strPrefix);
        store.setValue(QStringLiteral("ClientId"), m_strClientId);
        store.setValue(QStringLiteral("User"), m_strUser);
        store.setValue(QStringLiteral("SavePassword"), m_bSavePassword);
        if (m_bSavePassword)
            store.setValue(QStringLiteral("Password"), m_strPassword);
        else
            store.remove(QStringLiteral("Password"));
        store.setValue(QStringLiteral("Tls"), m_bTls);
        store.setValue(QStringLiteral("CaFile"), m_strCaFile);
        store.setValue(QStringLiteral("CertFile"), m_strCertFile);
        store.setValue(QStringLiteral("KeyFile"), m_strKeyFile);
        store.setValue(QStringLiteral("Qos"), m_nQos);
        store.setValue(QStringLiteral("ConnectAtStart"), m_bConnectAtStart);
        store.endGroup();
        store.sync();
        if (store.status() != QSettings::NoError)
            return false;
    }
    return !m_bSavePassword || QFile::setPermissions(strSettingsFile, ownerOnly);
}
