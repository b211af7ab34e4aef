#include "cli/MqttCliOptions.h"

#include "cli/CliOptions.h"
#include "recording/BoundedRead.h"

#include <map>

namespace {

const QStringList kNames{QStringLiteral("--mqtt"),      QStringLiteral("--topic"),
                         QStringLiteral("--mqtt-user"), QStringLiteral("--mqtt-password-file"),
                         QStringLiteral("--tls-ca"),    QStringLiteral("--tls-cert"),
                         QStringLiteral("--tls-key"),   QStringLiteral("--qos")};

// Removes every "--name VALUE" and "--name=VALUE" of kNames before "--".
bool TakeValues(QStringList& arrArgs, std::map<QString, QString>& values, QString& strError)
{
    for (qsizetype i = 0; i < arrArgs.size() && arrArgs[i] != QLatin1String("--");) {
        const QString strArg = arrArgs[i];
        const QString strName = strArg.section(QLatin1Char('='), 0, 0);
        if (!kNames.contains(strName)) {
            ++i;
            continue;
        }
        if (strArg.contains(QLatin1Char('='))) {
            values[strName] = strArg.section(QLatin1Char('='), 1);
            arrArgs.remove(i);
        } else if (i + 1 < arrArgs.size()) {
            values[strName] = arrArgs[i + 1];
            arrArgs.remove(i, 2);
        } else {
            strError = QStringLiteral("%1 needs a value").arg(strName);
            return false;
        }
        if (values[strName].isEmpty()) {
            strError = QStringLiteral("%1 needs a value").arg(strName);
            return false;
        }
    }
    return true;
}

} // namespace

bool TakeMqttOptions(QStringList& arrArgs, std::optional<MqttSettings>& settings, QString& strError)
{
    std::map<QString, QString> values;
    if (!TakeValues(arrArgs, values, strError))
        return false;
    if (values.empty())
        return true;
    if (!values.count(QStringLiteral("--mqtt"))) {
        strError = QStringLiteral("%1 needs --mqtt HOST[:PORT]").arg(values.begin()->first);
        return false;
    }
    MqttSettings s;
    const auto value = [&](const char* pszName) { return values[QLatin1String(pszName)]; };
    s.m_bTls = !value("--tls-ca").isEmpty();
    s.m_nPort = s.m_bTls ? MqttSettings::kDefaultTlsPort : MqttSettings::kDefaultPort;
    QString strHost = value("--mqtt");
    const qsizetype nColon = strHost.lastIndexOf(QLatin1Char(':'));
    if (nColon >= 0 && strHost.indexOf(QLatin1Char(':')) == nColon) {
        if (!ParseInt(strHost.mid(nColon + 1), 1, 65535, s.m_nPort)) {
            strError = QStringLiteral("--mqtt takes HOST[:PORT] with a port from 1 to 65535");
            return false;
        }
        strHost.truncate(nColon);
    }
    s.m_strHost = strHost;
    s.m_strPrefix = value("--topic");
    s.m_strUser = value("--mqtt-user");
    s.m_strCaFile = value("--tls-ca");
    s.m_strCertFile = value("--tls-cert");
    s.m_strKeyFile = value("--tls-key");
    if (!value("--qos").isEmpty() && !ParseInt(value("--qos"), 0, 1, s.m_nQos)) {
        strError = QStringLiteral("--qos takes 0 or 1");
        return false;
    }
    if (const QString strFile = value("--mqtt-password-file"); !strFile.isEmpty()) {
        // The first line is the password; what follows it is not read.
        constexpr qint64 kMaxBytes = 64 * 1024;
        QByteArray bytes;
        if (const int nError =
                CBoundedRead::Read(strFile, kMaxBytes, CBoundedRead::Longer::Cut, bytes);
            nError != 0) {
            strError = QStringLiteral("cannot read %1: %2")
                           .arg(strFile, CBoundedRead::ErrorText(nError, kMaxBytes));
            return false;
        }
        s.m_strPassword = QString::fromUtf8(bytes.left(bytes.indexOf('\n'))).trimmed();
    }
    if ((!s.m_strCertFile.isEmpty() || !s.m_strKeyFile.isEmpty()) && !s.m_bTls) {
        strError = QStringLiteral("--tls-cert and --tls-key need --tls-ca");
        return false;
    }
    const MqttSettings::Problem problem = s.Check();
    if (!problem.m_strField.isEmpty()) {
        const std::map<QString, QString> english{
            {QStringLiteral("host"), QStringLiteral("--mqtt needs a host")},
            {QStringLiteral("prefix"), QStringLiteral("--topic must not hold +, # or NUL")},
            {QStringLiteral("ca"), QStringLiteral("cannot read the --tls-ca file")},
            {QStringLiteral("cert"),
             QStringLiteral("give readable --tls-cert and --tls-key files")},
            {QStringLiteral("key"),
             QStringLiteral("give readable --tls-cert and --tls-key files")}};
        const auto it = english.find(problem.m_strField);
        strError = it != english.end() ? it->second : problem.m_strMessage;
        return false;
    }
    settings = s;
    return true;
}
