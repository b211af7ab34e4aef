#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

class CBusLink;

// The terminal's side of the bus port: the two write operations with their
// byte counter, the received-byte log with its counter, and the receive text
// in the present display mode (the bytes themselves, or "%.2X " per byte).
// Writes may come from any thread (the counters are atomics and the link
// queues the bytes to its I/O thread); everything else belongs to the page's thread.
class CTerminalPort
{
public:
    // Without a link the writes go nowhere but are still counted.
    explicit CTerminalPort(CBusLink* pLink);

    CTerminalPort(const CTerminalPort&) = delete;
    CTerminalPort& operator=(const CTerminalPort&) = delete;

    // Logs a received block, counts it and appends its display pieces to the
    // receive text. Returns the pieces appended. Blocks of any length are taken whole.
    QByteArray OnTerminalReceive(const QByteArray& block);

    // Hands the data unchanged to the link (nothing is appended) and counts it,
    // also when the port is closed and nothing was written.
    void SendTextData(const QByteArray& text);
    void SendByteData(const QByteArray& bytes);
    // Bytes handed to the link that the port has not sent yet (any thread).
    qint64 PendingOutput() const;

    // Empties receive text and log, the speed base and both counters.
    void ClearReceive();
    // Empties receive text and log; the counters stay (after an archive).
    void EmptyReceived();

    bool IsHexDisplay() const { return m_bHexDisplay; }
    // Switches the display mode and rebuilds the receive text from the whole log.
    void SetHexDisplay(bool bHex);

    // The speed since the last call, "%.2f KB/S" of the bytes received
    // since then; the received count becomes the new base.
    QString TakeSpeedText();

    quint32 SentBytes() const { return m_nSentBytes.load(); }
    quint32 ReceivedBytes() const { return m_nReceivedBytes.load(); }
    const QByteArray& ReceivedLog() const { return m_arrReceived; }
    const QByteArray& ReceiveText() const { return m_strReceive; }

    // "0%X " below 0x10, "%X " otherwise: always two upper-case digits and a space.
    static QByteArray HexPieces(const QByteArray& bytes);
    // The send area's text as it goes out: GBK, every line break as CR LF.
    static QByteArray EncodeSendText(const QString& strText);

private:
    CBusLink* m_pLink;
    std::atomic<quint32> m_nSentBytes{0};
    std::atomic<quint32> m_nReceivedBytes{0};
    quint32 m_nSpeedBase = 0;
    QByteArray m_arrReceived;
    QByteArray m_strReceive;
    bool m_bHexDisplay = false;
};
