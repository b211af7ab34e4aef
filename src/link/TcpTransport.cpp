#include "link/TcpTransport.h"

#include "link/LinkLog.h"
#include "link/PortOpenFailure.h"

#include <QUrl>

#include <cerrno>

namespace {

// The system error a socket error stands for, for the open failure's code.
int ErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
        return ENOENT;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
        return ENETUNREACH;
    default:
        return EIO;
    }
}

} // namespace

CTcpTransport::CTcpTransport()
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &CBusTransport::ReadyRead);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &CBusTransport::BytesWritten);
    connect(&m_socket, &QTcpSocket::disconnected, this, &CTcpTransport::OnDisconnected);
}

bool CTcpTransport::IsTcpDevice(const QString& strDevice)
{
    return strDevice.startsWith(QLatin1String(kScheme), Qt::CaseInsensitive);
}

bool CTcpTransport::ParseDevice(const QString& strDevice, QString& strHost, quint16& nPort)
{
    if (!IsTcpDevice(strDevice))
        return false;
    const QUrl url(strDevice, QUrl::StrictMode);
    const int nUrlPort = url.port();
    if (!url.isValid() || url.host().isEmpty() || nUrlPort <= 0 || !url.path().isEmpty() ||
        url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return false;
    strHost = url.host();
    nPort = static_cast<quint16>(nUrlPort);
    return true;
}

bool CTcpTransport::Open(const QString& strDevice, int nWaitMs, CPortOpenFailure& failure)
{
    m_strDevice = strDevice;
    QString strHost;
    quint16 nPort = 0;
    failure = CPortOpenFailure();
    failure.m_strDevice = strDevice;
    if (!ParseDevice(strDevice, strHost, nPort)) {
        failure.m_nError = EINVAL;
        failure.m_strReason = QStringLiteral("not tcp://HOST:PORT");
        return false;
    }
    m_socket.connectToHost(strHost, nPort);
    if (!m_socket.waitForConnected(nWaitMs)) {
        const QAbstractSocket::SocketError error = m_socket.error();
        failure.m_nError = ErrorNumber(error);
        failure.m_strReason = m_socket.errorString();
        m_socket.abort();
        qCDebug(lcLink, "connect to %s failed: %s", qUtf8Printable(strDevice),
                qUtf8Printable(failure.m_strReason));
        return false;
    }
    // A 9-byte command leaves at once instead of waiting for more to send.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_bOpen = true;
    return true;
}

QString CTcpTransport::ApplyLineSettings(const ComSettings& settings)
{
    qCDebug(lcLink, "%s: line settings %s are the device server's own", qUtf8Printable(m_strDevice),
            settings.SettingsText().constData());
    return QString();
}

void CTcpTransport::Close()
{
    m_bOpen = false;
    m_socket.abort();
}

void CTcpTransport::Write(const QByteArray& bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

void CTcpTransport::OnDisconnected()
{
    if (!m_bOpen)
        return;
    const QString strReason = m_socket.error() == QAbstractSocket::UnknownSocketError
                                  ? QStringLiteral("the connection was closed")
                                  : m_socket.errorString();
    Q_EMIT Lost(strReason);
}
