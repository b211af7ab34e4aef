#pragma once

#include <QByteArray>
#include <QString>

// A bare pseudo-terminal for terminal tests and the benchmark: the tool opens
// SlavePath() as its bus port, the test writes raw bytes into it from the
// master side, reads what the tool sent, or closes it to pull the adapter.
class CRawPty
{
public:
    CRawPty();
    ~CRawPty();

    CRawPty(const CRawPty&) = delete;
    CRawPty& operator=(const CRawPty&) = delete;

    bool IsOpen() const { return m_nMaster >= 0; }
    QString SlavePath() const { return m_strSlavePath; }
    // Writes all bytes (blocking); false on a write error.
    bool Write(const QByteArray& bytes);
    // What the tool wrote and is waiting, without blocking.
    QByteArray ReadAvailable();
    // The device is gone for whoever still holds it.
    void Close();

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    QString m_strSlavePath;
};
