#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A mosquitto broker of the test's own on 127.0.0.1 and a free port, with its
// own configuration and a persistence folder, so that a durable subscription
// outlives a restart.
class CTestBroker
{
public:
    // The broker's program; empty when mosquitto is not installed.
    static QString Program();

    CTestBroker();
    ~CTestBroker();

    // Starts on the port (a free one the first time) with these extra
    // configuration lines; true once it accepts connections.
    bool Start(const QStringList& arrExtraConfig = {});
    // Stops it cleanly: it saves its sessions.
    void Stop();
    int Port() const { return m_nPort; }
    QString Folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_nPort = 0;
};

// mosquitto_sub on a broker: a durable QoS 1 subscription to PREFIX/#, which
// reconnects by itself; each message arrives as a "TOPIC PAYLOAD" line.
class CTestSubscriber
{
public:
    CTestSubscriber(int nPort, const QString& strPrefix);
    ~CTestSubscriber();

    // True once the subscription holds (a retained marker came back).
    bool WaitSubscribed();
    // The lines so far, markers left out.
    QStringList Lines();
    // The lines of one topic, without the topic.
    QStringList Payloads(const QString& strTopic);

private:
    QProcess m_process;
    QString m_strPrefix;
    int m_nPort;
    QStringList m_arrLines;
    QByteArray m_partial;
};
