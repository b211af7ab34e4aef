#include "sim/SimFaults.h"

namespace {

bool ReadCount(const QString& strValue, int nMin, int& nValue)
{
    bool bOk = false;
    const int n = strValue.toInt(&bOk);
    if (!bOk || n < nMin)
        return false;
    nValue = n;
    return true;
}

} // namespace

bool SimFaults::Apply(const QString& strFault, QString& strError)
{
    const qsizetype nEq = strFault.indexOf('=');
    const QString strName = nEq < 0 ? strFault : strFault.left(nEq);
    const QString strValue = nEq < 0 ? QString() : strFault.mid(nEq + 1);
    const bool bHasValue = nEq >= 0;
    SimFaults faults = *this;
    bool bOk = true;

    if (strName == "drop") {
        bOk = bHasValue && ReadCount(strValue, 1, faults.m_nDropEvery);
    } else if (strName == "drop-chance") {
        const double d = strValue.toDouble(&bOk);
        bOk = bOk && bHasValue && d >= 0.0 && d <= 1.0;
        if (bOk)
            faults.m_dDropProbability = d;
    } else if (strName == "corrupt-check") {
        bOk = !bHasValue;
        faults.m_bCorruptCheck = true;
    } else if (strName == "split") {
        faults.m_bSplit = true;
        if (bHasValue)
            bOk = ReadCount(strValue, 0, faults.m_nSplitPauseMs);
    } else if (strName == "delay") {
        bOk = bHasValue && ReadCount(strValue, 1, faults.m_nDelayMs);
    } else if (strName == "noise") {
        faults.m_nNoiseBytes = 4;
        if (bHasValue)
            bOk = ReadCount(strValue, 1, faults.m_nNoiseBytes);
    } else if (strName == "zts-unsupported") {
        bOk = !bHasValue;
        faults.m_bZtsUnsupported = true;
    } else if (strName == "unknown-query") {
        bOk = bHasValue && !strValue.isEmpty();
        faults.m_arrUnknownQueries.append(strValue.toLatin1());
    } else if (strName == "refuse-write") {
        bOk = bHasValue && !strValue.isEmpty();
        faults.m_arrRefusedWrites.append(strValue.toLatin1());
    } else if (strName == "slow-capture") {
        bOk = bHasValue && ReadCount(strValue, 1, faults.m_nCaptureDelayMs);
    } else {
        strError = QStringLiteral("unknown fault \"%1\"").arg(strFault);
        return false;
    }
    if (!bOk) {
        strError = QStringLiteral("bad fault \"%1\"").arg(strFault);
        return false;
    }
    *this = faults;
    return true;
}

QString SimFaults::Help()
{
    return QStringLiteral(
        "  drop=N            drop every Nth reply\n"
        "  drop-chance=P     drop each reply with probability P (0..1)\n"
        "  corrupt-check     send binary measured values with a wrong check byte\n"
        "  split[=MS]        write replies one byte at a time, MS apart (2)\n"
        "  delay=MS          hold every reply back MS milliseconds longer\n"
        "  noise[=N]         write N random bytes (4) before every reply\n"
        "  zts-unsupported   answer \"?\" to ZTS? and ZTS writes\n"
        "  unknown-query=M   answer \"?\" to the query M? (LDW, for example)\n"
        "  refuse-write=M    answer \"?\" to writes of M (LWT, TDD, for example)\n"
        "  slow-capture=MS   take MS milliseconds over a zero or full-load capture\n");
}
