#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>

class CBusLink;
class QSerialPort;
class QTimer;

// The serial port and the reply collector. Lives on the bus I/O thread; every
// member is called there only (through CBusLink's invocations).
class CBusPortWorker : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPauseMs = 30;
    static constexpr int kPauseCount = 11;

    explicit CBusPortWorker(CBusLink& link);

    // Creates the port and the pause timer; called once on the I/O thread.
    void Init();
    // Closes and deletes the port and timer; the last call on the I/O thread.
    void Shutdown();

    // Opens the device with the settings; on failure returns the errno-style code.
    bool Open(const QString& strDevice, int nBaud, int nDataBits, int nStopBits, char cParity,
              int& nError);
    void Close();
    void Write(const QByteArray& bytes);
    // Arms the collector for exchange nTicket: drops stale input, then sends.
    void StartExchange(quint64 nTicket, const QByteArray& command);
    // Bytes the port holds that are not sent yet; any thread.
    qint64 PortOutput() const { return m_nPortOutput.load(); }

private:
    void OnReadyRead();
    void OnPause();
    void OnError(int nError);
    // True when the waiting bytes form a complete reply by the arrival rule.
    bool ArrivalComplete() const;
    void Finish(bool bSignal);
    void StopCollecting();
    void Discard();

    CBusLink& m_link;
    QSerialPort* m_pPort = nullptr;
    QTimer* m_pPauseTimer = nullptr;
    QByteArray m_waiting; // bytes read from the port, not yet taken as a reply
    quint64 m_nArmedTicket = 0;
    int m_nPauses = 0;
    bool m_bCollecting = false;
    std::atomic<qint64> m_nPortOutput{0};
};
