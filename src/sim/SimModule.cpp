#include "sim/SimModule.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

const QByteArray kUnknown = "?\r\n";
const QByteArray kAck = "0\r\n";
constexpr qint32 kValueMax = 0x7FFFFF;
constexpr qint32 kValueMin = -0x800000;
constexpr int kOutputRates[] = {1200, 800, 600, 480, 400, 300, 240, 200, 160, 120, 100,
                                96,   80,  60,  40,  30,  24,  20,  10,  8,   4};

QByteArray Padded(const QByteArray& text, int nLen)
{
    return text.left(nLen).leftJustified(nLen, ' ');
}

QByteArray Line(const char* pszFormat, qint32 nValue)
{
    return QString::asprintf(pszFormat, nValue).toLatin1() + "\r\n";
}

// A plain signed decimal that fits 32 bits.
bool ReadNumber(const QByteArray& text, qint32& nValue)
{
    if (text.isEmpty())
        return false;
    qsizetype nStart = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (nStart == text.size())
        return false;
    for (qsizetype i = nStart; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    bool bOk = false;
    nValue = text.toInt(&bOk);
    return bOk;
}

// "text" exactly, the quotes included.
bool ReadQuoted(const QByteArray& text, QByteArray& value)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    value = text.mid(1, text.size() - 2);
    return !value.contains('"');
}

qint32 Clamp32(qint64 n)
{
    return static_cast<qint32>(std::clamp<qint64>(n, INT32_MIN, INT32_MAX));
}

qint32 Clamp24(qint64 n)
{
    return static_cast<qint32>(std::clamp<qint64>(n, kValueMin, kValueMax));
}

} // namespace

CSimModule::CSimModule(int nAddress, const SimOptions& options)
    : m_nAddress(nAddress),
      m_nZeroOffset(120000 + 3 * nAddress + nAddress * options.m_nAddressBand),
      m_dPhase(0.7 * nAddress), m_nLoadSwing(options.m_nLoadSwing),
      m_dLoadPeriodS(options.m_dLoadPeriodS), m_nNoise(options.m_nNoise),
      m_nCaptureDelayMs(options.m_nCaptureDelayMs),
      m_rng(options.m_nSeed ^ (static_cast<quint32>(nAddress) * 2654435761u))
{
    m_params.m_strModel = Padded("TX-485D", kModelLen);
    m_params.m_strSerial = Padded(QByteArray::number(2400000 + nAddress), kSerialLen);
    m_stored = m_params;
    m_bZtsSupported = !options.m_faults.m_bZtsUnsupported;
    m_arrUnknownQueries = options.m_faults.m_arrUnknownQueries;
    m_arrRefusedWrites = options.m_faults.m_arrRefusedWrites;
    m_nCaptureDelayFaultMs = options.m_faults.m_nCaptureDelayMs;
}

CSimModule::Result CSimModule::RunFrame(const QList<QByteArray>& commands, double dSeconds,
                                        const AddressFree& addressFree)
{
    Result result;
    // A module busy with a capture hears nothing until it is done.
    if (dSeconds < m_dBusyUntil)
        return result;
    m_bGainUnlocked = false;
    for (const QByteArray& command : commands) {
        result.m_bBinary = false;
        result.m_reply = RunCommand(command, dSeconds, addressFree, result);
    }
    m_bGainUnlocked = false;
    return result;
}

void CSimModule::PowerCycle()
{
    m_params = m_stored;
    m_bUnlocked = false;
    m_bGainUnlocked = false;
    m_bNet = false;
}

qint32 CSimModule::RawAt(double dSeconds)
{
    if (m_nFixedRaw)
        return *m_nFixedRaw;
    double dLoad = 0.0;
    if (m_nLoadSwing != 0 && m_dLoadPeriodS > 0.0) {
        const double dAngle = 2.0 * std::numbers::pi * dSeconds / m_dLoadPeriodS + m_dPhase;
        dLoad = m_nLoadSwing * (1.0 - std::cos(dAngle)) / 2.0;
    }
    qint64 nNoise = 0;
    if (m_nNoise > 0)
        nNoise = std::uniform_int_distribution<int>(-m_nNoise, m_nNoise)(m_rng);
    return Clamp32(qint64(m_nZeroOffset) + m_nExtraLoad + std::llround(dLoad) + nNoise);
}

qint32 CSimModule::GrossAt(double dSeconds)
{
    // What the module's 24-bit output can carry; with equal points there is
    // no span to scale by, and the raw signal is the value.
    const qint64 nRaw = RawAt(dSeconds);
    const qint64 nSpan = qint64(m_params.m_nLwt) - m_params.m_nLdw;
    if (nSpan == 0)
        return Clamp24(nRaw);
    return Clamp24((nRaw - m_params.m_nLdw) * m_params.m_nNov / nSpan);
}

qint32 CSimModule::ValueAt(double dSeconds)
{
    const qint32 nGross = GrossAt(dSeconds);
    return m_bNet ? Clamp32(qint64(nGross) - m_params.m_nTav) : nGross;
}

QByteArray CSimModule::RunCommand(const QByteArray& command, double dSeconds,
                                  const AddressFree& addressFree, Result& result)
{
    if (command.size() < 3)
        return kUnknown;
    const QByteArray mnemonic = command.left(3);
    const QByteArray argument = command.mid(3);
    if (argument == "?")
        return RunQuery(mnemonic, dSeconds, result);
    return RunWrite(mnemonic, argument, dSeconds, addressFree, result);
}

qint32* CSimModule::SmallParam(const QByteArray& mnemonic, int& nMin, int& nMax)
{
    struct Entry
    {
        const char* pszName;
        qint32 Params::*pField;
        int nMin;
        int nMax;
    };
    static constexpr Entry kEntries[] = {
        {"FMD", &Params::m_nFmd, 0, 1},    {"ASF", &Params::m_nAsf, 0, 8},
        {"ADI", &Params::m_nAdi, 0, 500},  {"COC", &Params::m_nCoc, 0, 999},
        {"COF", &Params::m_nCof, 0, 15},   {"ZTR", &Params::m_nZtr, 0, 4},
        {"ZTS", &Params::m_nZts, 0, 7},    {"ZSE", &Params::m_nZse, 0, 4},
        {"STR", &Params::m_nStr, 0, 1},    {"CSM", &Params::m_nCsm, 0, 1},
        {"CHP", &Params::m_nChp, 0, 1},    {"GAN", &Params::m_nGan, 0, 7},
        {"RLE", &Params::m_nRle, 0, 1},    {"RLN", &Params::m_nRln, 4, 8},
        {"ICR", &Params::m_nIcr, 4, 1200},
    };
    for (const Entry& entry : kEntries) {
        if (mnemonic == entry.pszName) {
            nMin = entry.nMin;
            nMax = entry.nMax;
            return &(m_params.*entry.pField);
        }
    }
    return nullptr;
}

QByteArray CSimModule::RunQuery(const QByteArray& mnemonic, double dSeconds, Result& result)
{
    if ((mnemonic == "ZTS" && !m_bZtsSupported) || m_arrUnknownQueries.contains(mnemonic))
        return kUnknown;
    if (mnemonic == "TAV")
        return Line("%+08d", m_params.m_nTav);
    if (mnemonic == "LDW")
        return Line("%+08d", m_params.m_nLdw);
    if (mnemonic == "LWT")
        return Line("%+08d", m_params.m_nLwt);
    if (mnemonic == "NOV")
        return Line("%+07d", m_params.m_nNov);
    if (mnemonic == "IDN")
        return Identification() + "\r\n";
    if (mnemonic == "ADR" || mnemonic == "adr")
        return Line("%.2d", m_nAddress);
    if (mnemonic == "MSV") {
        const qint32 nValue = ValueAt(dSeconds);
        if (m_params.m_nCof != 8)
            return Line("%+08d", nValue);
        result.m_bBinary = true;
        return BinaryValue(nValue);
    }
    int nMin = 0;
    int nMax = 0;
    if (const qint32* pnValue = SmallParam(mnemonic, nMin, nMax))
        return Line("%d", *pnValue);
    return kUnknown;
}

QByteArray CSimModule::RunWrite(const QByteArray& mnemonic, const QByteArray& argument,
                                double dSeconds, const AddressFree& addressFree, Result& result)
{
    qint32 nValue = 0;
    const bool bNumber = ReadNumber(argument, nValue);

    // Needed before any unlock: the password itself, the output settings and
    // the tare actions.
    if (mnemonic == "SPW") {
        QByteArray password;
        if (!ReadQuoted(argument, password))
            return kUnknown;
        if (password == "NiLOx")
            m_bUnlocked = true;
        else if (password == "WaRkuTE")
            m_bGainUnlocked = true;
        else
            return kUnknown;
        return kAck;
    }
    if (mnemonic == "TAR") {
        if (!argument.isEmpty())
            return kUnknown;
        m_params.m_nTav = GrossAt(dSeconds);
        return kAck;
    }
    if (mnemonic == "TAS") {
        if (!bNumber || nValue < 0 || nValue > 1)
            return kUnknown;
        m_bNet = nValue == 1;
        return kAck;
    }
    if (mnemonic == "GAN") {
        if (!m_bGainUnlocked || !bNumber || nValue < 0 || nValue > 7)
            return kUnknown;
        m_params.m_nGan = nValue;
        return kAck;
    }
    const bool bFree = mnemonic == "COF" || mnemonic == "CSM";
    if ((!bFree && !m_bUnlocked) || m_arrRefusedWrites.contains(mnemonic))
        return kUnknown;
    if (mnemonic == "ZTS" && !m_bZtsSupported)
        return kUnknown;

    int nMin = 0;
    int nMax = 0;
    if (qint32* pnField = SmallParam(mnemonic, nMin, nMax)) {
        if (!bNumber || nValue < nMin || nValue > nMax)
            return kUnknown;
        if (mnemonic == "ICR" && std::ranges::find(kOutputRates, nValue) == std::end(kOutputRates))
            return kUnknown;
        *pnField = nValue;
        return kAck;
    }
    if (mnemonic == "LDW" || mnemonic == "LWT") {
        qint32& nField = mnemonic == "LDW" ? m_params.m_nLdw : m_params.m_nLwt;
        if (argument.isEmpty()) {
            // Capture: the module settles for a moment, then takes the raw reading.
            const int nDelayMs =
                m_nCaptureDelayFaultMs > 0 ? m_nCaptureDelayFaultMs : m_nCaptureDelayMs;
            result.m_nDelayMs = nDelayMs;
            // It settles a little longer after answering: a frame that waited
            // on the line meanwhile (a second attempt) goes unheard. An instant
            // capture is never busy.
            constexpr int kSettleMs = 100;
            if (nDelayMs > 0)
                m_dBusyUntil = dSeconds + (nDelayMs + kSettleMs) / 1000.0;
            nField = RawAt(dSeconds + nDelayMs / 1000.0);
            return kAck;
        }
        if (!bNumber)
            return kUnknown;
        nField = nValue;
        return kAck;
    }
    if (mnemonic == "NOV" || mnemonic == "TAV") {
        if (!bNumber)
            return kUnknown;
        (mnemonic == "NOV" ? m_params.m_nNov : m_params.m_nTav) = nValue;
        return kAck;
    }
    if (mnemonic == "RLC") {
        const qsizetype nComma = argument.indexOf(',');
        qint32 nIndex = 0;
        qint32 nPoint = 0;
        if (nComma < 0 || !ReadNumber(argument.left(nComma), nIndex) ||
            !ReadNumber(argument.mid(nComma + 1), nPoint) || nIndex < 0 || nIndex > 7)
            return kUnknown;
        m_params.m_arrRlc[nIndex] = nPoint;
        return kAck;
    }
    if (mnemonic == "IDN") {
        // "model","serial": the quotes delimit, so a comma may sit inside a field.
        const qsizetype nSplit = argument.indexOf("\",\"");
        QByteArray model;
        QByteArray serial;
        if (nSplit < 0 || !ReadQuoted(argument.left(nSplit + 1), model) ||
            !ReadQuoted(argument.mid(nSplit + 2), serial))
            return kUnknown;
        m_params.m_strModel = Padded(model, kModelLen);
        m_params.m_strSerial = Padded(serial, kSerialLen);
        return kAck;
    }
    if (mnemonic == "TDD") {
        if (!bNumber || nValue != 1)
            return kUnknown;
        m_stored = m_params;
        return kAck;
    }
    if (mnemonic == "adr") {
        if (argument.size() != 2 || argument[0] < '0' || argument[0] > '9' || !bNumber)
            return kUnknown;
        if (nValue != m_nAddress && !(addressFree && addressFree(nValue)))
            return kUnknown;
        m_nAddress = nValue;
        return kAck;
    }
    return kUnknown;
}

QByteArray CSimModule::Identification() const
{
    return "ADM," + m_params.m_strModel + ',' + m_params.m_strSerial + ",1.0";
}

QByteArray CSimModule::BinaryValue(qint32 nValue) const
{
    const qint32 nClamped = std::clamp(nValue, kValueMin, kValueMax);
    const quint32 nBits = static_cast<quint32>(nClamped) & 0xFFFFFFu;
    QByteArray reply(6, '\0');
    reply[0] = static_cast<char>((nBits >> 16) & 0xFF);
    reply[1] = static_cast<char>((nBits >> 8) & 0xFF);
    reply[2] = static_cast<char>(nBits & 0xFF);
    reply[3] = m_params.m_nCsm ? static_cast<char>(reply[0] ^ reply[1] ^ reply[2]) : '\0';
    reply[4] = '\r';
    reply[5] = '\n';
    return reply;
}
