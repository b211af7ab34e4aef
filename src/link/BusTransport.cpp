#include "link/BusTransport.h"

#include "link/SerialTransport.h"
#include "link/TcpTransport.h"

std::unique_ptr<CBusTransport> CBusTransport::ForDevice(const QString& strDevice)
{
    if (CTcpTransport::IsTcpDevice(strDevice))
        return std::make_unique<CTcpTransport>();
    return std::make_unique<CSerialTransport>();
}
