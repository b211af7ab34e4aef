#pragma once

#include <QString>

// Where and how readings are published: broker, topic prefix, identity, TLS
// and delivery. Stored in the settings file's "Remote" group; the password
// only when the user asked for it.
struct MqttSettings
{
    static constexpr int kDefaultPort = 1883;
    static constexpr int kDefaultTlsPort = 8883;
    static constexpr int kDefaultQueueLimit = 100000;

    QString m_strHost;
    int m_nPort = kDefaultPort;
    QString m_strPrefix;   // empty: DefaultPrefix()
    QString m_strClientId; // empty: DefaultClientId()
    QString m_strUser;
    QString m_strPassword;
    bool m_bTls = false;
    QString m_strCaFile;
    QString m_strCertFile;
    QString m_strKeyFile;
    int m_nQos = 1;
    int m_nQueueLimit = kDefaultQueueLimit;
    bool m_bSavePassword = false;
    bool m_bConnectAtStart = false;

    static QString DefaultPrefix();
    static QString DefaultClientId();
    QString Prefix() const { return m_strPrefix.isEmpty() ? DefaultPrefix() : m_strPrefix; }
    QString ClientId() const { return m_strClientId.isEmpty() ? DefaultClientId() : m_strClientId; }

    // What is wrong with the settings, checked before any connection attempt:
    // the field at fault and a message for it; an empty field when all is well.
    struct Problem
    {
        QString m_strField; // "host", "port", "prefix", "ca", "cert", "key", "qos"
        QString m_strMessage;
    };
    Problem Check() const;

    // The "Remote" group of the settings file; the password is read when stored.
    static MqttSettings Load(const QString& strSettingsFile);
    // Writes the group; the password only with m_bSavePassword, and then the
    // file is made readable by its owner only. False when it cannot be written.
    bool Save(const QString& strSettingsFile) const;
};
