#pragma once

#include "params/ModuleWrite.h"
#include "params/SequenceSink.h"

#include <QStringList>

class CBusLink;
class QTextStream;

// The calibration and linearisation commands of tolvex-cli: calibrate,
// nominal and linearise, run by the parameter page's sequences. Every check
// that needs no bus comes before the first frame; then the set-up (binary
// output and unlock, unless --no-setup) and the writes. Each acknowledged
// write prints its name on stdout, each failed one "NAME: refused", "NAME: no
// reply" or "NAME: not acknowledged" on stderr. Exit codes as CCliCommands.
class CCalibrationCliCommands
{
public:
    CCalibrationCliCommands(CBusLink& link, QTextStream& out, QTextStream& err, StopTest stop);

    int Calibrate(const QStringList& arrArgs);
    int Nominal(const QStringList& arrArgs);
    int Linearise(const QStringList& arrArgs);

private:
    int Usage(const QString& strError);
    int Refuse(const QString& strError);
    // The flags and the positional arguments; the address is the first of them.
    bool TakeArguments(const QStringList& arrArgs, int nMin, QStringList& arrPositional,
                       int& nAddress, QString& strError);
    bool TakeValue(const QString& strText, qint32& nValue, QString& strError);
    void SetUp(int nAddress);
    // A value query before a write: false, with "NAME?: no reply", when it fails.
    bool QueryValue(int nAddress, const char* pszMnemonic, qint32& nValue);
    int Finish(const CModuleWrite::Result& result);

    CBusLink& m_link;
    QTextStream& m_out;
    QTextStream& m_err;
    StopTest m_stop;
    bool m_bNoSetup = false;
};
