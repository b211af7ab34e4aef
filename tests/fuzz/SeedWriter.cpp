// Writes seed inputs for the fuzz targets from real traffic: the frames the
// tool's command builder makes, the simulator's replies to them, and the
// files the tool's own writers produce, each in its target's input layout.
// The corpus under tests/fuzz/corpus is these seeds after a libFuzzer merge.
//   fuzz_seed_writer OUTDIR
#include "module/GbkCodec.h"
#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"
#include "module/ParameterTable.h"
#include "params/ParamFile.h"
#include "recording/WeightRecord.h"
#include "remote/MqttSettings.h"
#include "settings/PortMap.h"
#include "settings/SettingsStore.h"
#include "sim/SimBus.h"
#include "terminal/SendTextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

namespace {

QString g_strOut;

void Write(const QString& strTarget, const QByteArray& bytes)
{
    static int s_nCount = 0;
    QDir().mkpath(g_strOut + '/' + strTarget);
    QFile file(
        QString("%1/%2/seed-%3").arg(g_strOut, strTarget).arg(++s_nCount, 4, 10, QChar('0')));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

// The frames of a parameter read, a save and the other actions, to one address.
QList<QByteArray> ToolFrames(int nAddress)
{
    QList<QByteArray> frames = {
        CModuleCommand::BinaryOutput(nAddress, 500).m_text,
        CModuleCommand::Unlock(nAddress, 500).m_text,
        CModuleCommand::ChecksumOn(nAddress, 500).m_text,
        CModuleCommand::MeasuredValue(nAddress).m_text,
        CModuleCommand::AddressQuery(nAddress).m_text,
        CModuleCommand::RawAddressQuery(nAddress),
        CModuleCommand::Gain(nAddress, 2).m_text,
        CModuleCommand::WriteIdentification(nAddress, "LC-500", "V2").m_text,
        CModuleCommand::LinearPoint(nAddress, 1, 5000).m_text,
        CModuleCommand::Tare(nAddress).m_text,
        CModuleCommand::SelectNet(nAddress, true).m_text,
        CModuleCommand::CaptureZero(nAddress).m_text,
        CModuleCommand::Store(nAddress, 1500).m_text};
    for (const CParameterTable::Parameter& parameter : CParameterTable::Parameters())
        frames.append(CModuleCommand::Query(nAddress, parameter.m_pszMnemonic).m_text);
    for (const QByteArray& step : CParameterTable::SaveSteps())
        frames.append(CModuleCommand::Frame(nAddress, step));
    return frames;
}

// Frames as blocks at time points: a delay byte, a length byte, the bytes.
QByteArray Blocks(const QList<QByteArray>& frames, int nCut)
{
    QByteArray input;
    for (const QByteArray& frame : frames) {
        for (qsizetype i = 0; i < frame.size(); i += nCut) {
            const QByteArray block = frame.mid(i, nCut);
            input += char(i == 0 ? 20 : 1);
            input += char(block.size());
            input += block;
        }
    }
    return input;
}

// One exchange for the reply collector: start with the reply length, the
// reply in two blocks, then ticks.
QByteArray Exchange(int nReplyLen, const QByteArray& reply)
{
    QByteArray input;
    input += char(0);
    input += char(1);
    input += char(nReplyLen);
    for (const QByteArray& block : {reply.left(reply.size() / 2), reply.mid(reply.size() / 2)}) {
        input += char(1);
        input += char(1);
        input += char(block.size());
        input += block;
        input += char(0);
    }
    return input + QByteArray(3, char(3));
}

void WriteParamFile(const ModuleParamRecord& record, const PageDisplayState& state)
{
    static int s_nCount = 0;
    QDir().mkpath(g_strOut + "/stp_file");
    QString strError;
    if (!CParamFile::Export(QString("%1/stp_file/export-%2.stp").arg(g_strOut).arg(++s_nCount),
                            record, state, strError)) {
        std::fprintf(stderr, "%s\n", qPrintable(strError));
        std::exit(1);
    }
}

// The settings file as the tool's store leaves it: the defaults, then edited
// port and curve settings, a port map and the remote group. Each seed takes
// the text whole and looks up COM3 and COM1.
void WriteSettingsSeeds()
{
    const QTemporaryDir dir;
    const QString strFile = dir.filePath("TolvexSoftware.conf");
    const auto writeSeed = [&strFile] {
        QFile file(strFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(strFile));
            std::exit(1);
        }
        Write("settings_text", QByteArray("\x01\x02\x00", 3) + file.readAll());
    };
    ComSettings com;
    PlotSettings plot;
    CSettingsStore store(strFile);
    store.Load(com, plot);
    writeSeed();
    com = {3, 115200, 7, 2, 'O'};
    store.SaveComSettings(com);
    plot.m_nRealTimeMax = 5000;
    plot.m_nRealTimeMin = 0;
    plot.m_nHistoryDivisions = 50;
    store.SavePlotSettings(plot);
    CPortMap(strFile).SetDevice(3, "/dev/ttyUSB0");
    writeSeed();
    CPortMap(strFile).SetDevice(1, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART-if00-port0");
    MqttSettings mqtt;
    mqtt.m_strHost = "broker.local";
    mqtt.m_nPort = 8883;
    mqtt.m_bTls = true;
    mqtt.m_strCaFile = "/etc/ssl/certs/ca.pem";
    mqtt.m_strUser = "line4";
    mqtt.m_strPassword = "secret";
    mqtt.m_bSavePassword = true;
    mqtt.m_nQos = 0;
    mqtt.Save(strFile);
    writeSeed();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_writer OUTDIR\n");
        return 2;
    }
    g_strOut = QString::fromLocal8Bit(argv[1]);

    const QList<QByteArray> frames = ToolFrames(1) + ToolFrames(17);
    for (int nCut : {3, 7, 64})
        Write("sim_frames", Blocks(frames, nCut));

    SimOptions options;
    options.m_nCaptureDelayMs = 0;
    CSimBus bus(options);
    for (const QByteArray& frame : frames) {
        const QByteArray reply = bus.Process(frame);
        Write("hex_text", frame.toHex(' ') + ' ' + reply.toHex(' ').toUpper());
        // Address, a measured value of three bytes, the check byte flag, a raw
        // signal of four bytes, the binary output flag, the reply.
        Write("module_reply", QByteArray::fromHex("06") + frame.mid(1, 3) + char(1) +
                                  QByteArray::fromHex("8012d687") + char(1) + reply);
        const int nReplyLen =
            frame.contains('?') ? CModuleCommand::QueryReplyLength(frame.mid(4, 3).constData()) : 3;
        Write("reply_collector", Exchange(nReplyLen, reply) + Exchange(3, "0\r\n"));
    }

    // Text the terminal receives: module replies and GBK text, in blocks of 5
    // bytes (a cut inside a character) or as one.
    const QByteArray gbk = CGbkCodec::Encode(QStringLiteral(
        "参数设置和标定\r\n多路数据显示\r实时曲线\n历史曲线 串口调试 远程监控 传感器型号\r\n"));
    for (const QByteArray& text : {gbk, bus.Process("S01;IDN?;") + gbk + bus.Process("S03;ADR?;")})
        for (const QByteArray& cuts : {QByteArray(), QByteArray(8, char(5))})
            Write("gbk_stream", char(1) + (char(cuts.size()) + cuts) + text);

    // Send texts as the terminal saves them, and as other editors leave them:
    // LF or CR line ends, no last line end, a byte GBK has no character for.
    Write("send_text", CSendTextFile::ToFileBytes(QStringLiteral("S01;MSV?;\nS02;IDN?;\n零点\n")));
    Write("send_text", gbk + "S03;ADR?;\nS04;GAN?;\rlast");
    Write("send_text", QByteArray("\x81\x30\xff\r\n\xa1", 6));

    // Macros as a test engineer writes them, one of them in GBK.
    const char* const kScripts[] = {
        "' poll two modules\r\nFor i = 1 To 3\r\n  Send \"S01;MSV?;\"\r\n  Delay 100\r\n"
        "  SendHex \"53 30 33 3B 4D 53 56 3F 3B\"\r\nNext\r\n",
        "Option Explicit\nDim n, s\nConst kLast = 31\nBusScan kLast\ns = \"\"\n"
        "For n = 0 To kLast Step 2 : s = s & Right(\"0\" & CStr(n), 2) & \",\" : Next\n"
        "If Len(s) > 10 Then Send Left(s, 10) Else Send s\n",
        "Function Frame(a, body)\n  Frame = \"S\" & Right(\"0\" & a, 2) & \";\" & body & \";\"\n"
        "End Function\nSub Both(a)\n  Call Send(Frame(a, \"FMD3\"))\n  ScriptControlMacro.Send "
        "Frame(a, \"TDD1\")\nEnd Sub\nDo While i < 2 : i = i + 1 : Both i : Loop\n",
        "x = &HFF + 1.5e1 * -2 Mod 7 \\ 2 ^ 2\nIf x <> 0 And Not (x < -1000) Or False Then _\n"
        "  Send UCase(Mid(\"abcdef\", 2, 3)) & InStr(\"abc\", \"c\") & Asc(\"A\") & Chr(66)\n"
        "Send CInt(\"12\") + CLng(3.5) + CDbl(\"1.25\") + Int(-2.5) + Abs(-3) & IsNumeric(\"x\")\n"
        "Send Trim(\"  a  \") & LCase(\"B\") & Hex(255) & vbCrLf & vbTab\n",
        "Sub Deep(n)\n  If n > 0 Then Deep n - 1\nEnd Sub\nDeep 300\n",
        "Do\n  Send \"S01;MSV?;\"\nLoop Until False\n",
        "s = \"ab\"\nWhile True\n  s = s & s\nWend\n",
        "x = 1 / 0\n",
        "If x Then\nSend 1\nElseIf y Then\n",
    };
    for (const char* pszScript : kScripts)
        Write("vbs_script", pszScript);
    Write("vbs_script",
          CGbkCodec::Encode(QStringLiteral("' 读取重量\r\nSend \"S01;MSV?;\" ' 实时\r\n")));

    // tolvex-cli command lines; '|' stands for the zero byte between arguments.
    for (const char* pszLine :
         {"--simulate=1,3,17|scan", "--port|/dev/ttyUSB0|--baud|9600|--parity=E|read|1",
          "--com=3|--data-bits=8|--stop-bits|2|msv|1|--count|10",
          "-v|--simulate|patrol|--record|x.sdat|--all", "--simulate= 0, 5 ,99|write|1|FMD|-3|--|-n",
          "--port=tcp://10.0.0.7:4001|send|S01;MSV?;"})
        Write("command_line", QByteArray(pszLine).replace('|', '\0'));

    // A recording of the simulated module's measured values, one every 100 ms,
    // with the windows first: count, then start and zoom level of each.
    QByteArray history = QByteArray::fromHex("03"
                                             "0000"
                                             "0a00"
                                             "4000"
                                             "0c01"
                                             "0fff"
                                             "0502");
    const qint64 nStartMs = 1765000000000;
    for (int i = 0; i < 300; ++i) {
        const QByteArray reply = bus.Process("S03;MSV?;");
        char record[WeightRecord::kSize];
        WeightRecord::Make(CModuleReply::Atoi(reply), nStartMs + 100 * i).ToBytes(record);
        history.append(record, WeightRecord::kSize);
    }
    Write("history_file", history);
    Write("history_file", QByteArray::fromHex("00000000") + history.right(40));

    // A patrol recording of that module as the recorder writes it, whole and
    // cut inside its last value.
    QByteArray sdat;
    for (int i = 0; i < 64; ++i) {
        char value[4];
        qToLittleEndian(qint32(CModuleReply::Atoi(bus.Process("S03;MSV?;"))), value);
        sdat.append(value, 4);
    }
    Write("patrol_file", sdat);
    Write("patrol_file", sdat.chopped(3));

    ModuleParamRecord record;
    PageDisplayState state;
    WriteParamFile(record, state);
    record.m_strIdentification = bus.Process("S01;IDN?;").trimmed();
    record.m_nFmd = 3;
    record.m_nGan = 2;
    state.m_nSelectedAddress = 1;
    state.m_nUnit = 2;
    state.m_nDecimals = 3;
    state.m_nDivision = 1;
    WriteParamFile(record, state);
    WriteSettingsSeeds();
    return 0;
}
