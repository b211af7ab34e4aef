// The settings file as the tool reads it at start: both scrambled records
// through the store, the port map's devices and the "Remote" group. The text
// is either taken whole or laid out as the tool writes it, with records of
// drawn fields and drawn lines between. Every loaded value is in its range
// or at its default, a record's valid fields are those of the file, and the
// repaired records are written back so that a second read gives them again.
#include "FuzzInput.h"
#include "FuzzScratch.h"

#include "remote/MqttSettings.h"
#include "settings/ComSettings.h"
#include "settings/ParamsManager.h"
#include "settings/PlotSettings.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <iterator>
#include <optional>

namespace {

// The file the tool reads, under an XDG_CONFIG_HOME of this process's own
// (in memory, since every settings write syncs the file).
QString SettingsFile()
{
    static const QString strFile = [] {
        const QTemporaryDir& dir = FuzzScratchDir();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        const QString strPath = CParamsManager::DefaultSettingsFile();
        FUZZ_CHECK(strPath.startsWith(dir.path()));
        QDir().mkpath(QFileInfo(strPath).path());
        return strPath;
    }();
    return strFile;
}

// A field at a bound of one of the records' ranges, near them, or anything.
qint32 DrawField(CFuzzInput& input)
{
    static const qint32 kBounds[] = {INT32_MIN, -101, -100, -1,    0,       1,       2,
                                     3,         4,    5,    8,     9,       99,      100,
                                     101,       256,  257,  19200, 4000000, 4000001, INT32_MAX};
    switch (input.Range(0, 3)) {
    case 0:
        return kBounds[input.Range(0, std::size(kBounds) - 1)];
    case 1:
        return static_cast<qint32>(input.Range(-3, 300));
    case 2:
        return static_cast<quint8>("NOEMSnoems X"[input.Range(0, 11)]);
    default:
        return static_cast<qint32>(input.Range(INT32_MIN, INT32_MAX));
    }
}

// A binary value as QSettings writes one: "@ByteArray(...)", each byte
// either as it is or escaped.
QByteArray ByteArrayValue(CFuzzInput& input, const QByteArray& bytes)
{
    const bool bEscaped = input.Bool();
    QByteArray text = "@ByteArray(";
    for (char c : bytes)
        text += bEscaped ? QByteArray("\\x") + QByteArray(1, c).toHex() : QByteArray(1, c);
    return text + ')';
}

// A record of drawn fields, scrambled as the store keeps it, now and then
// short of a few bytes.
QByteArray RecordValue(CFuzzInput& input, int nSize)
{
    QByteArray plain;
    for (int i = 0; i < nSize / 4; ++i) {
        const qint32 nField = DrawField(input);
        plain += QByteArray(reinterpret_cast<const char*>(&nField), 4);
    }
    if (input.Range(0, 7) == 0)
        plain.chop(input.Range(1, 4));
    for (char& c : plain)
        c = static_cast<char>(CParamsManager::Scramble(static_cast<quint8>(c)));
    return ByteArrayValue(input, plain);
}

// A value as the tool writes one for the key, or a drawn one of any kind.
QByteArray Value(CFuzzInput& input, const QByteArray& typical)
{
    switch (input.Range(0, 3)) {
    case 0:
        return typical;
    case 1:
        return QByteArray::number(DrawField(input));
    case 2:
        return ByteArrayValue(input, input.BytesUpTo(24));
    default:
        return input.BytesUpTo(40);
    }
}

// Drawn lines of anything: group headers, keys, bytes.
QByteArray JunkLines(CFuzzInput& input)
{
    QByteArray text;
    for (int nLines = static_cast<int>(input.Range(0, 3)); nLines > 0; --nLines)
        text += (input.Bool() ? '[' + input.BytesUpTo(12) + ']' : input.BytesUpTo(40)) + '\n';
    return text;
}

// The file laid out as the tool writes it, the groups and keys it uses with
// drawn values, and drawn lines between them.
QByteArray BuildText(CFuzzInput& input)
{
    static const char* const kRemoteKeys[] = {
        "Host",     "Port", "Tls",    "Qos",      "SavePassword", "Password",      "Prefix",
        "ClientId", "User", "CaFile", "CertFile", "KeyFile",      "ConnectAtStart"};
    QByteArray text = JunkLines(input);
    text += '[' + QByteArray(input.Range(0, 7) == 0 ? "params" : CSettingsStore::kGroup) + "]\n";
    const std::pair<const char*, int> records[] = {
        {CSettingsStore::kComSettingsName, ComSettings::kSize},
        {CSettingsStore::kPlotSettingsName, PlotSettings::kSize}};
    for (const auto& [pszName, nSize] : records) {
        if (input.Range(0, 7) != 0)
            text += pszName + QByteArray("=") + Value(input, RecordValue(input, nSize)) + '\n';
    }
    text += JunkLines(input) + "[PortMap]\n";
    for (int nEntries = static_cast<int>(input.Range(0, 3)); nEntries > 0; --nEntries)
        text += "COM" + QByteArray::number(input.Range(-1, 260)) + '=' +
                Value(input, " /dev/ttyUSB" + input.BytesUpTo(8)) + '\n';
    text += JunkLines(input) + "[Remote]\n";
    for (const char* pszKey : kRemoteKeys) {
        if (input.Bool())
            text += pszKey + QByteArray("=") + Value(input, "true") + '\n';
    }
    return text + JunkLines(input) + input.Rest();
}

// The record as the file holds it, through the store's own reader, if whole.
template <typename Record>
std::optional<Record> RawRecord(const QString& strFile, const char* pszName)
{
    CParamsManager params;
    params.OpenSettingsKey(strFile, QLatin1String(CSettingsStore::kGroup));
    QByteArray bytes(Record::kSize, '\0');
    int nLen = Record::kSize;
    Record record;
    if (!params.ReadSetting(QLatin1String(pszName), bytes.data(), nLen) || !record.FromBytes(bytes))
        return std::nullopt;
    return record;
}

void CheckCom(const ComSettings& loaded, const std::optional<ComSettings>& raw)
{
    const ComSettings defaults;
    if (!raw) {
        FUZZ_CHECK(loaded == defaults);
        return;
    }
    // Each field as the file has it when a serial port can take it, else its default.
    const auto expect = [](bool bValid, auto nRaw, auto nDefault) {
        return bValid ? nRaw : nDefault;
    };
    FUZZ_CHECK(loaded.m_nPort == expect(raw->m_nPort >= 1 && raw->m_nPort <= ComSettings::kMaxPort,
                                        raw->m_nPort, defaults.m_nPort));
    FUZZ_CHECK(loaded.m_nBaud == expect(raw->m_nBaud >= 1 && raw->m_nBaud <= ComSettings::kMaxBaud,
                                        raw->m_nBaud, defaults.m_nBaud));
    FUZZ_CHECK(loaded.m_nDataBits == expect(raw->m_nDataBits >= 5 && raw->m_nDataBits <= 8,
                                            raw->m_nDataBits, defaults.m_nDataBits));
    FUZZ_CHECK(loaded.m_nStopBits == expect(raw->m_nStopBits == 1 || raw->m_nStopBits == 2,
                                            raw->m_nStopBits, defaults.m_nStopBits));
    const char cParity = raw->ParityLetter();
    FUZZ_CHECK(loaded.m_nParity == expect(cParity != '\0' && std::strchr("NOEMSnoems", cParity),
                                          raw->m_nParity, defaults.m_nParity));
    FUZZ_CHECK(loaded.m_nPort >= 1 && loaded.m_nPort <= ComSettings::kMaxPort);
}

void CheckPlot(const PlotSettings& loaded, const std::optional<PlotSettings>& raw)
{
    const PlotSettings defaults;
    if (!raw) {
        FUZZ_CHECK(loaded == defaults);
        return;
    }
    const auto checkCurve = [](qint32 nMax, qint32 nMin, qint32 nDivisions, qint32 nRawMax,
                               qint32 nRawMin, qint32 nRawDivisions, qint32 nDefaultMax,
                               qint32 nDefaultMin, qint32 nDefaultDivisions) {
        FUZZ_CHECK(nMax >= nMin);
        FUZZ_CHECK(nDivisions >= PlotSettings::kMinDivisions &&
                   nDivisions <= PlotSettings::kMaxDivisions);
        if (nRawMax >= nRawMin)
            FUZZ_CHECK(nMax == nRawMax && nMin == nRawMin);
        else
            FUZZ_CHECK(nMax == nDefaultMax && nMin == nDefaultMin);
        if (nRawDivisions >= PlotSettings::kMinDivisions &&
            nRawDivisions <= PlotSettings::kMaxDivisions)
            FUZZ_CHECK(nDivisions == nRawDivisions);
        else
            FUZZ_CHECK(nDivisions == nDefaultDivisions);
    };
    checkCurve(loaded.m_nRealTimeMax, loaded.m_nRealTimeMin, loaded.m_nRealTimeDivisions,
               raw->m_nRealTimeMax, raw->m_nRealTimeMin, raw->m_nRealTimeDivisions,
               defaults.m_nRealTimeMax, defaults.m_nRealTimeMin, defaults.m_nRealTimeDivisions);
    checkCurve(loaded.m_nHistoryMax, loaded.m_nHistoryMin, loaded.m_nHistoryDivisions,
               raw->m_nHistoryMax, raw->m_nHistoryMin, raw->m_nHistoryDivisions,
               defaults.m_nHistoryMax, defaults.m_nHistoryMin, defaults.m_nHistoryDivisions);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CFuzzInput input(pData, nSize);
    const bool bWhole = input.Bool();
    const int nLookups[] = {static_cast<int>(input.Range(1, ComSettings::kMaxPort)),
                            static_cast<int>(input.Range(1, ComSettings::kMaxPort))};
    const QByteArray text = bWhole ? input.Rest() : BuildText(input);

    const QString strFile = SettingsFile();
    QFile file(strFile);
    FUZZ_CHECK(WriteWholeFile(file, text));
    // QSettings keeps a parsed file while its size and time stay; each run's
    // file gets a time of its own.
    static qint64 s_nRun = 0;
    FUZZ_CHECK(file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++s_nRun),
                                QFileDevice::FileModificationTime));
    file.close();

    const std::optional<ComSettings> rawCom =
        RawRecord<ComSettings>(strFile, CSettingsStore::kComSettingsName);
    const std::optional<PlotSettings> rawPlot =
        RawRecord<PlotSettings>(strFile, CSettingsStore::kPlotSettingsName);

    ComSettings com;
    PlotSettings plot;
    {
        CSettingsStore store(strFile);
        FUZZ_CHECK(store.SetAsideMessage().isEmpty());
        store.Load(com, plot);
    }
    CheckCom(com, rawCom);
    CheckPlot(plot, rawPlot);

    // What the store wrote back reads as what it loaded, when the file takes writes.
    ComSettings comAgain;
    comAgain.m_nPort = 0;
    PlotSettings plotAgain;
    plotAgain.m_nRealTimeDivisions = 0;
    CSettingsStore(strFile).LoadReadOnly(comAgain, plotAgain);
    if (comAgain.m_nPort != 0)
        FUZZ_CHECK(comAgain == com);
    if (plotAgain.m_nRealTimeDivisions != 0)
        FUZZ_CHECK(plotAgain == plot);
    FUZZ_CHECK((comAgain.m_nPort != 0) == (plotAgain.m_nRealTimeDivisions != 0));

    const CPortMap portMap(strFile);
    for (int nPort : {com.m_nPort, nLookups[0], nLookups[1]}) {
        const QString strDevice = portMap.DeviceFor(nPort);
        FUZZ_CHECK(!strDevice.contains(QChar(0)));
        FUZZ_CHECK(strDevice.size() <= CPortMap::kMaxDeviceChars);
        FUZZ_CHECK(strDevice == strDevice.trimmed());
    }

    const MqttSettings mqtt = MqttSettings::Load(strFile);
    FUZZ_CHECK(mqtt.m_nPort >= 1 && mqtt.m_nPort <= 65535);
    FUZZ_CHECK(mqtt.m_nQos == 0 || mqtt.m_nQos == 1);
    FUZZ_CHECK(mqtt.m_nQueueLimit == MqttSettings::kDefaultQueueLimit);
    FUZZ_CHECK(mqtt.m_bSavePassword || mqtt.m_strPassword.isEmpty());
    return 0;
}
