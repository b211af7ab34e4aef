#include "link/BusPortWorker.h"

#include "link/BusLink.h"

#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

QSerialPort::Parity ToParity(char cParity)
{
    switch (cParity) {
    case 'N':
    case 'n':
        return QSerialPort::NoParity;
    case 'O':
    case 'o':
        return QSerialPort::OddParity;
    case 'M':
    case 'm':
        return QSerialPort::MarkParity;
    case 'S':
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::EvenParity;
    }
}

// QSerialPort does not hand out the system's error code; ask the system by
// opening the device the same way, and fall back to the port's own verdict.
int OpenErrorCode(const QString& strDevice, QSerialPort::SerialPortError error)
{
    const int fd = ::open(strDevice.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    ::close(fd);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return ENOENT;
    case QSerialPort::PermissionError:
        return EACCES;
    case QSerialPort::OpenError:
        return EBUSY;
    default:
        return EIO;
    }
}

} // namespace

CBusPortWorker::CBusPortWorker(CBusLink& link) : m_link(link) {}

void CBusPortWorker::Init()
{
    m_pPort = new QSerialPort(this);
    m_pPauseTimer = new QTimer(this);
    m_pPauseTimer->setInterval(kPauseMs);
    m_pPauseTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pPort, &QSerialPort::readyRead, this, &CBusPortWorker::OnReadyRead);
    connect(m_pPort, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { OnError(error); });
    connect(m_pPort, &QSerialPort::bytesWritten, this,
            [this] { m_nPortOutput.store(m_pPort->bytesToWrite()); });
    connect(m_pPauseTimer, &QTimer::timeout, this, &CBusPortWorker::OnPause);
}

void CBusPortWorker::Shutdown()
{
    Close();
    delete m_pPauseTimer;
    m_pPauseTimer = nullptr;
    delete m_pPort;
    m_pPort = nullptr;
}

bool CBusPortWorker::Open(const QString& strDevice, int nBaud, int nDataBits, int nStopBits,
                          char cParity, int& nError)
{
    Close();
    m_pPort->setPortName(strDevice);
    if (!m_pPort->open(QIODevice::ReadWrite)) {
        nError = OpenErrorCode(strDevice, m_pPort->error());
        m_pPort->clearError();
        return false;
    }
    // Settings are applied to the open port; a line setting the device refuses
    // leaves the one it had, as a serial driver would.
    m_pPort->setBaudRate(nBaud);
    m_pPort->setDataBits(static_cast<QSerialPort::DataBits>(nDataBits));
    m_pPort->setParity(ToParity(cParity));
    m_pPort->setStopBits(nStopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_pPort->setFlowControl(QSerialPort::NoFlowControl);
    m_pPort->clearError();
    // Start with an empty receive buffer.
    m_pPort->clear(QSerialPort::Input);
    m_pPort->readAll();
    m_waiting.clear();
    m_link.SetPortOpen(true);
    return true;
}

void CBusPortWorker::Close()
{
    StopCollecting();
    m_waiting.clear();
    m_nArmedTicket = 0;
    if (m_pPort && m_pPort->isOpen())
        m_pPort->close();
    m_nPortOutput.store(0);
    m_link.SetPortOpen(false);
}

void CBusPortWorker::Write(const QByteArray& bytes)
{
    if (!m_pPort->isOpen())
        return;
    m_pPort->write(bytes);
    // Hand the bytes to the driver now rather than on the next loop pass.
    m_pPort->flush();
    m_nPortOutput.store(m_pPort->bytesToWrite());
}

void CBusPortWorker::StartExchange(quint64 nTicket, const QByteArray& command)
{
    StopCollecting();
    if (m_pPort->isOpen()) {
        m_pPort->clear(QSerialPort::Input);
        m_pPort->readAll();
    }
    m_waiting.clear();
    m_nArmedTicket = nTicket;
    Write(command);
}

void CBusPortWorker::OnReadyRead()
{
    if (!m_pPort->isOpen())
        return;
    const QByteArray bytes = m_pPort->readAll();
    if (m_link.m_bTerminalShown.load()) {
        StopCollecting();
        const QByteArray block = m_waiting + bytes;
        m_waiting.clear();
        m_link.DeliverToTerminal(block);
        return;
    }
    // Bounded: the reply buffer never takes more than its size.
    const qsizetype room = CBusLink::kReplyBufferSize - m_waiting.size();
    if (room > 0)
        m_waiting.append(bytes.left(room));
    if (!m_bCollecting) {
        m_bCollecting = true;
        m_nPauses = 0;
        m_pPauseTimer->start();
    }
    if (ArrivalComplete())
        Finish(true);
}

bool CBusPortWorker::ArrivalComplete() const
{
    return m_waiting.size() >= m_link.m_nExpectedLen.load() && m_waiting.endsWith("\r\n");
}

void CBusPortWorker::OnPause()
{
    if (!m_bCollecting)
        return;
    ++m_nPauses;
    const bool bCountReached = m_waiting.size() >= m_link.m_nExpectedLen.load();
    if (m_nPauses < kPauseCount) {
        if (bCountReached)
            Finish(m_waiting.size() >= 3);
        return;
    }
    if (bCountReached)
        Finish(m_waiting.size() >= 3);
    else if (m_waiting.endsWith("\r\n"))
        Finish(true);
    else
        Discard();
}

void CBusPortWorker::Finish(bool bSignal)
{
    StopCollecting();
    const QByteArray reply = m_waiting;
    m_waiting.clear();
    if (bSignal && m_nArmedTicket != 0) {
        m_link.CompleteReply(m_nArmedTicket, reply);
        m_nArmedTicket = 0;
    }
}

void CBusPortWorker::Discard()
{
    StopCollecting();
    m_waiting.clear();
    if (m_pPort->isOpen()) {
        m_pPort->clear(QSerialPort::AllDirections);
        m_pPort->readAll();
    }
}

void CBusPortWorker::StopCollecting()
{
    m_bCollecting = false;
    if (m_pPauseTimer)
        m_pPauseTimer->stop();
}

void CBusPortWorker::OnError(int nError)
{
    if (nError != QSerialPort::ResourceError)
        return;
    const QString strReason = m_pPort->errorString();
    Close();
    m_pPort->clearError();
    Q_EMIT m_link.PortLost(strReason);
}
