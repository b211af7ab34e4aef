#include "cli/CliOptions.h"

#include "link/LinkLog.h"
#include "module/AddressList.h"
#include "recording/ByteNamedFolder.h"

#include <QFile>

bool ParseInt(const QString& strText, int nMin, int nMax, int& nValue)
{
    const qsizetype nDigitsFrom = strText.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (strText.size() <= nDigitsFrom)
        return false;
    for (qsizetype i = nDigitsFrom; i < strText.size(); ++i)
        if (strText[i] < QLatin1Char('0') || strText[i] > QLatin1Char('9'))
            return false;
    bool bOk = false;
    const int n = strText.toInt(&bOk);
    if (!bOk || n < nMin || n > nMax)
        return false;
    nValue = n;
    return true;
}

namespace {

// "--name VALUE" or "--name=VALUE" at position i; advances i past the value.
bool TakeValue(const QStringList& arrArgs, qsizetype& i, const QString& strName, QString& strValue,
               bool& bMatched)
{
    const QString& strArg = arrArgs[i];
    bMatched = false;
    if (strArg == strName) {
        bMatched = true;
        if (i + 1 >= arrArgs.size())
            return false;
        strValue = arrArgs[++i];
        return true;
    }
    if (strArg.startsWith(strName + QLatin1Char('='))) {
        bMatched = true;
        strValue = strArg.mid(strName.size() + 1);
        return true;
    }
    return false;
}

} // namespace

bool CliOptions::Parse(const QStringList& arrArgs, QString& strError)
{
    int nPortOptions = 0;
    for (qsizetype i = 0; i < arrArgs.size(); ++i) {
        const QString& strArg = arrArgs[i];
        if (strArg == QLatin1String("-v") || strArg == QLatin1String("--verbose")) {
            m_bVerbose = true;
            continue;
        }
        if (!strArg.startsWith(QLatin1String("--"))) {
            m_strCommand = strArg;
            m_arrArguments = arrArgs.mid(i + 1);
            break;
        }
        if (strArg == QLatin1String("--simulate") ||
            strArg.startsWith(QLatin1String("--simulate="))) {
            ++nPortOptions;
            m_source = PortSource::Simulator;
            m_arrSimAddresses = {1, 3, 17};
            if (strArg.contains(QLatin1Char('=')) &&
                !CAddressList::Parse(strArg.section(QLatin1Char('='), 1), m_arrSimAddresses)) {
                strError = QStringLiteral(
                    "--simulate takes distinct addresses 0..99, such as --simulate=1,3,17");
                return false;
            }
            continue;
        }
        QString strValue;
        bool bMatched = false;
        struct IntOption
        {
            const char* m_pszName;
            int m_nMin, m_nMax;
        };
        if (TakeValue(arrArgs, i, QStringLiteral("--port"), strValue, bMatched) || bMatched) {
            if (strValue.isEmpty()) {
                strError = QStringLiteral("--port needs a device path");
                return false;
            }
            ++nPortOptions;
            m_source = PortSource::Device;
            m_strDevice = strValue;
            continue;
        }
        if (TakeValue(arrArgs, i, QStringLiteral("--parity"), strValue, bMatched) || bMatched) {
            const QString strUpper = strValue.toUpper();
            if (strUpper != QLatin1String("N") && strUpper != QLatin1String("O") &&
                strUpper != QLatin1String("E")) {
                strError = QStringLiteral("--parity takes N, O or E");
                return false;
            }
            m_cParity = strUpper.at(0).toLatin1();
            continue;
        }
        const IntOption options[] = {{"--com", 1, 256},
                                     {"--baud", 1, 4000000},
                                     {"--data-bits", 6, 8},
                                     {"--stop-bits", 1, 2}};
        bool bTaken = false;
        for (const IntOption& option : options) {
            const QString strName = QLatin1String(option.m_pszName);
            const bool bHasValue = TakeValue(arrArgs, i, strName, strValue, bMatched);
            if (!bMatched)
                continue;
            int nValue = 0;
            if (!bHasValue || !ParseInt(strValue, option.m_nMin, option.m_nMax, nValue)) {
                strError = QStringLiteral("%1 takes a number from %2 to %3")
                               .arg(strName)
                               .arg(option.m_nMin)
                               .arg(option.m_nMax);
                return false;
            }
            if (strName == QLatin1String("--com")) {
                ++nPortOptions;
                m_source = PortSource::ComNumber;
                m_nCom = nValue;
            } else if (strName == QLatin1String("--baud")) {
                m_nBaud = nValue;
            } else if (strName == QLatin1String("--data-bits")) {
                m_nDataBits = nValue;
            } else {
                m_nStopBits = nValue;
            }
            bTaken = true;
            break;
        }
        if (!bTaken) {
            strError = QStringLiteral("unknown option %1").arg(strArg);
            return false;
        }
    }
    if (nPortOptions > 1) {
        strError = QStringLiteral("give at most one of --port, --com and --simulate");
        return false;
    }
    if (m_strCommand.isEmpty()) {
        strError = QStringLiteral("no command given");
        return false;
    }
    return true;
}

QString CliOptions::Usage()
{
    return QStringLiteral(
        "usage: tolvex-cli [-v] [--port DEVICE | --com N | --simulate[=ADDRS]] [--baud N]\n"
        "                  [--parity N|O|E] [--data-bits 6|7|8] [--stop-bits 1|2] COMMAND ...\n"
        "       tolvex-cli --version | --help\n"
        "\n"
        "Without a port option the bus settings stored by the main window are used.\n"
        "--simulate runs simulated modules (default 1,3,17) on a pseudo-terminal, at the\n"
        "   pace of the baud rate. DEVICE may be tcp://HOST:PORT, a serial device server.\n"
        "   msv -n 0 and patrol -n 0 wait for a lost device to come back; other commands\n"
        "   end when it is lost.\n"
        "-v logs the port on stderr: opens, frames sent, replies and why they ended,\n"
        "   dropped input, hang-ups and reconnections (as QT_LOGGING_RULES=\n"
        "   tolvex.link.debug=true does).\n"
        "\n"
        "commands:\n"
        "  scan [--last N]                       list the addresses 0..N (default 31) that answer\n"
        "  read ADDR                             read the parameter set as NAME=VALUE lines\n"
        "  write ADDR NAME=VALUE... [--no-setup] write parameters as read prints them, then TDD1\n"
        "                                        (FMD ASF ADI COC COF TAV ICR ZTR ZTS ZSE STR CSM\n"
        "                                        CHP GAN IDN)\n"
        "  readdress OLD NEW                     move module OLD to the free address NEW, then "
        "scan\n"
        "  export ADDR FILE.stp [--force]        read the module into a parameter file\n"
        "  import ADDR FILE.stp [--no-setup]     write a parameter file's settings to the module\n"
        "  calibrate ADDR zero|full [--no-setup]  capture the zero or full load, print it\n"
        "  calibrate ADDR points LDW LWT NOV     write both points, the nominal value, TDD1\n"
        "  nominal ADDR VALUE [--no-setup]       write the nominal value (checked against\n"
        "                                        LDW? and LWT?), then TDD1\n"
        "  linearise ADDR on|off|count N|point I VALUE|points V0 ... (4 to 8 values)\n"
        "                                        linearisation on or off, point count, points\n"
        "  msv ADDR [-n COUNT] [--checksum] [--no-setup] [--interval MS]\n"
        "                                        read measured values (COUNT 0: until "
        "interrupted),\n"
        "                                        a read at most every MS milliseconds\n"
        "  patrol --last N [-n CYCLES] [--timeout MS] [--record DIR]\n"
        "                                        patrol 0..N, one line a cycle (-n 0: endless)\n"
        "  send TEXT [--hex] [--wait MS]         write TEXT raw, print what arrives as hex\n"
        "  script FILE [--lang vbs|js] [--wait MS]\n"
        "                                        run a macro script (by extension: .vbs, .js),\n"
        "                                        print what arrives as hex\n"
        "\n"
        "msv and patrol publish every reading to an MQTT broker with --mqtt HOST[:PORT]\n"
        "   (1883, 8883 with TLS) [--topic PREFIX] [--mqtt-user USER] [--mqtt-password-file FILE]\n"
        "   [--tls-ca FILE [--tls-cert FILE --tls-key FILE]] [--qos 0|1]; an unreachable broker\n"
        "   is retried while the command goes on, and at the end the queue gets 2 s to drain.\n"
        "\n"
        "Addresses are 0..31. A number, negative ones too, is always a value; \"--\" ends the\n"
        "options. Exit status: 0 done, 1 a bus step failed, 2 nothing sent.\n");
}

bool CliOptions::DecodeArguments(const QList<QByteArray>& arrRaw, QStringList& arrArgs,
                                 QString& strError)
{
    arrArgs.clear();
    for (qsizetype i = 0; i < arrRaw.size(); ++i) {
        if (!CByteNamedFolder::DecodesExactly(arrRaw[i])) {
            strError = QStringLiteral("argument %1 is not valid UTF-8 (%2); names of files "
                                      "and devices must be")
                           .arg(i + 1)
                           .arg(QString::fromLatin1(EscapedBytes(arrRaw[i].left(200))));
            return false;
        }
        arrArgs << QFile::decodeName(arrRaw[i]);
    }
    return true;
}

QString CliOptions::UsageErrorLine(const QString& strError)
{
    return QStringLiteral("tolvex-cli: %1; see tolvex-cli --help\n").arg(strError);
}

QString CliOptions::VersionLine()
{
    return QStringLiteral("tolvex-cli " TOLVEX_VERSION ", built " __DATE__ " " __TIME__ "\n");
}

CCommandArgs::CCommandArgs(QStringList arrArgs)
{
    const qsizetype nEnd = arrArgs.indexOf(QStringLiteral("--"));
    m_arrArgs = nEnd < 0 ? arrArgs : arrArgs.mid(0, nEnd);
    if (nEnd >= 0)
        m_arrAfter = arrArgs.mid(nEnd + 1);
}

bool CCommandArgs::TakeFlag(const QString& strFlag)
{
    return m_arrArgs.removeAll(strFlag) > 0;
}

bool CCommandArgs::TakeInt(const QStringList& arrNames, int nMin, int nMax, int& nValue,
                           QString& strError)
{
    for (qsizetype i = 0; i < m_arrArgs.size(); ++i) {
        for (const QString& strName : arrNames) {
            QString strValue;
            bool bMatched = false;
            qsizetype j = i;
            const bool bHasValue = TakeValue(m_arrArgs, j, strName, strValue, bMatched);
            if (!bMatched)
                continue;
            if (!bHasValue || !ParseInt(strValue, nMin, nMax, nValue)) {
                strError = QStringLiteral("%1 takes a number from %2 to %3")
                               .arg(strName)
                               .arg(nMin)
                               .arg(nMax);
                return false;
            }
            m_arrArgs.remove(i, j - i + 1);
            return true;
        }
    }
    return true;
}

bool CCommandArgs::TakePositional(int nCount, QStringList& arrValues, QString& strError)
{
    for (const QString& strArg : m_arrArgs) {
        if (strArg.startsWith(QLatin1String("--")) ||
            (strArg.startsWith(QLatin1Char('-')) && strArg.size() > 1 && !strArg.at(1).isDigit())) {
            strError = QStringLiteral("unknown option %1").arg(strArg);
            return false;
        }
    }
    const QStringList arrAll = m_arrArgs + m_arrAfter;
    if (nCount >= 0 && arrAll.size() != nCount) {
        strError = QStringLiteral("expected %1 argument(s), got %2").arg(nCount).arg(arrAll.size());
        return false;
    }
    arrValues = arrAll;
    return true;
}

bool TakeOptionText(QStringList& arrArgs, const QString& strName, std::optional<QString>& strValue)
{
    const qsizetype nEnd = arrArgs.indexOf(QStringLiteral("--"));
    for (qsizetype i = 0; i < (nEnd < 0 ? arrArgs.size() : nEnd); ++i) {
        if (arrArgs[i] == strName) {
            if (i + 1 >= arrArgs.size() || i + 1 == nEnd)
                return false;
            strValue = arrArgs[i + 1];
            arrArgs.remove(i, 2);
            return true;
        }
        if (arrArgs[i].startsWith(strName + QLatin1Char('='))) {
            strValue = arrArgs[i].mid(strName.size() + 1);
            arrArgs.remove(i);
            return true;
        }
    }
    return true;
}
