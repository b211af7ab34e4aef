#include "terminal/TerminalPort.h"

#include "link/BusLink.h"
#include "module/GbkCodec.h"

CTerminalPort::CTerminalPort(CBusLink* pLink) : m_pLink(pLink) {}

QByteArray CTerminalPort::OnTerminalReceive(const QByteArray& block)
{
    m_nReceivedBytes.fetch_add(static_cast<quint32>(block.size()));
    m_arrReceived.append(block);
    const QByteArray pieces = m_bHexDisplay ? HexPieces(block) : block;
    m_strReceive.append(pieces);
    return pieces;
}

void CTerminalPort::SendTextData(const QByteArray& text)
{
    SendByteData(text);
}

void CTerminalPort::SendByteData(const QByteArray& bytes)
{
    if (m_pLink != nullptr)
        m_pLink->SendBytes(bytes);
    m_nSentBytes.fetch_add(static_cast<quint32>(bytes.size()));
}

qint64 CTerminalPort::PendingOutput() const
{
    return m_pLink != nullptr ? m_pLink->PendingOutput() : 0;
}

void CTerminalPort::ClearReceive()
{
    EmptyReceived();
    m_nSpeedBase = 0;
    m_nReceivedBytes.store(0);
    m_nSentBytes.store(0);
}

void CTerminalPort::EmptyReceived()
{
    m_strReceive.clear();
    m_arrReceived.clear();
}

void CTerminalPort::SetHexDisplay(bool bHex)
{
    m_bHexDisplay = bHex;
    m_strReceive = bHex ? HexPieces(m_arrReceived) : m_arrReceived;
}

QString CTerminalPort::TakeSpeedText()
{
    const quint32 nReceived = m_nReceivedBytes.load();
    const quint32 nDelta = nReceived - m_nSpeedBase;
    m_nSpeedBase = nReceived;
    return QString::asprintf("%.2f KB/S", nDelta / 1024.0);
}

QByteArray CTerminalPort::HexPieces(const QByteArray& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QByteArray pieces(bytes.size() * 3, Qt::Uninitialized);
    char* pOut = pieces.data();
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        *pOut++ = kDigits[b >> 4];
        *pOut++ = kDigits[b & 0x0F];
        *pOut++ = ' ';
    }
    return pieces;
}

QByteArray CTerminalPort::EncodeSendText(const QString& strText)
{
    QString strLines = strText;
    strLines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    strLines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return CGbkCodec::Encode(strLines);
}
