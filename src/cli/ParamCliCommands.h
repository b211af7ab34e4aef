#pragma once

#include "params/SequenceSink.h"

#include <QStringList>

class CBusLink;
class CCommandArgs;
class QTextStream;
struct ModuleParamRecord;

// The parameter commands of tolvex-cli: scan, read, write, readdress, export
// and import, each run by the same sequences as the parameter page. Each
// returns the exit code: 0 all acknowledged, 1 a bus step failed, 2 nothing
// sent (usage, refused file).
class CParamCliCommands
{
public:
    CParamCliCommands(CBusLink& link, QTextStream& out, QTextStream& err, StopTest stop);

    int Scan(const QStringList& arrArgs);
    int Read(const QStringList& arrArgs);
    int Write(const QStringList& arrArgs);
    int Readdress(const QStringList& arrArgs);
    int Export(const QStringList& arrArgs);
    int Import(const QStringList& arrArgs);

    // NAME=VALUE of a write into the record; false with the reason when the
    // name is not one of the save's, or the value is not one it can send.
    static bool ParseAssignment(const QString& strAssignment, ModuleParamRecord& record,
                                QByteArray& name, QString& strError);

private:
    int Usage(const QString& strError);
    bool TakeAddress(const QString& strText, int& nAddress, QString& strError);
    // The ADDR FILE that export and import take, after their flags.
    bool TakeAddressAndFile(CCommandArgs& args, int& nAddress, QString& strPath, QString& strError);
    // The read of one module printed as NAME=VALUE lines; true when complete.
    bool ReadInto(int nAddress, ModuleParamRecord& record);
    // The unlock before writes; its failure is reported, not printed.
    bool Unlock(int nAddress);
    // Sends the save's steps (all of them when arrSteps is empty) and prints
    // each acknowledged one; true when every step sent was acknowledged.
    bool Save(int nAddress, const ModuleParamRecord& record, const QByteArrayList& arrSteps);

    CBusLink& m_link;
    QTextStream& m_out;
    QTextStream& m_err;
    StopTest m_stop;
};
