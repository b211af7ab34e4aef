#include "sim/TcpSimulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

CTcpSimulator::CTcpSimulator(const SimOptions& options) : m_bus(options), m_line(m_bus) {}

CTcpSimulator::~CTcpSimulator()
{
    Stop();
}

QString CTcpSimulator::Start(const QString& strHost, quint16 nPort)
{
    if (m_bRunning.load())
        return m_strDevice;
    m_strError.clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* pResult = nullptr;
    const QByteArray host = strHost.toUtf8();
    const QByteArray port = QByteArray::number(nPort);
    const int nLookup = ::getaddrinfo(host.constData(), port.constData(), &hints, &pResult);
    if (nLookup != 0) {
        m_strError = QStringLiteral("cannot resolve %1: %2")
                         .arg(strHost, QString::fromLocal8Bit(::gai_strerror(nLookup)));
        return QString();
    }
    int nError = 0;
    for (addrinfo* p = pResult; p && m_nListen < 0; p = p->ai_next) {
        const int fd = ::socket(p->ai_family, p->ai_socktype | SOCK_CLOEXEC, p->ai_protocol);
        const int nOn = 1;
        if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) == 0 &&
            ::bind(fd, p->ai_addr, p->ai_addrlen) == 0 && ::listen(fd, 1) == 0) {
            m_nListen = fd;
            break;
        }
        nError = errno;
        if (fd >= 0)
            ::close(fd);
    }
    ::freeaddrinfo(pResult);
    if (m_nListen < 0 || !m_line.Init()) {
        m_strError = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(strHost)
                         .arg(nPort)
                         .arg(QString::fromLocal8Bit(std::strerror(nError ? nError : errno)));
        if (m_nListen >= 0)
            ::close(m_nListen);
        m_nListen = -1;
        return QString();
    }
    sockaddr_storage bound{};
    socklen_t nLen = sizeof bound;
    ::getsockname(m_nListen, reinterpret_cast<sockaddr*>(&bound), &nLen);
    const quint16 nBoundPort =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    const QString strShownHost =
        strHost.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(strHost) : strHost;
    m_strDevice = QStringLiteral("tcp://%1:%2").arg(strShownHost).arg(nBoundPort);
    m_line.Reset();
    m_bRunning = true;
    m_thread = std::thread(&CTcpSimulator::Serve, this);
    return m_strDevice;
}

void CTcpSimulator::Stop()
{
    if (!m_bRunning.load())
        return;
    m_line.Stop();
    m_thread.join();
    ::close(m_nListen);
    m_nListen = -1;
    m_bRunning = false;
}

void CTcpSimulator::Serve()
{
    while (m_line.WaitReadable(m_nListen)) {
        const int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        // A reply leaves at once, as a device server forwards what the line gives it.
        const int nOn = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
        const CSimLine::End end = m_line.Serve(fd, true);
        ::close(fd);
        if (end == CSimLine::End::Stopped)
            return;
    }
}
