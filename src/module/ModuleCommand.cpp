#include "module/ModuleCommand.h"

#include "module/ParameterTable.h"

namespace {

QByteArray Number(int n)
{
    return QByteArray::number(n);
}

} // namespace

QByteArray CModuleCommand::AddressText(int nAddress)
{
    const QByteArray digits =
        QByteArray::number(qAbs(static_cast<qint64>(nAddress))).rightJustified(2, '0');
    return nAddress < 0 ? "-" + digits : digits;
}

QByteArray CModuleCommand::Frame(int nAddress, const QByteArray& body)
{
    return "S" + AddressText(nAddress) + ";" + body + ";";
}

int CModuleCommand::QueryReplyLength(const char* pszMnemonic)
{
    const CParameterTable::Parameter* pParameter = CParameterTable::Find(pszMnemonic);
    return pParameter ? pParameter->m_nReplyLen : 3;
}

ModuleRequest CModuleCommand::Query(int nAddress, const char* pszMnemonic, int nTimeoutMs)
{
    return {Frame(nAddress, QByteArray(pszMnemonic) + "?"), QueryReplyLength(pszMnemonic),
            nTimeoutMs};
}

ModuleRequest CModuleCommand::Set(int nAddress, const char* pszMnemonic, int nValue)
{
    const CParameterTable::Parameter* pParameter = CParameterTable::Find(pszMnemonic);
    const int nTimeoutMs = pParameter ? pParameter->m_nSetTimeoutMs : kLongTimeoutMs;
    return {Frame(nAddress, QByteArray(pszMnemonic) + Number(nValue)), 3, nTimeoutMs};
}

ModuleRequest CModuleCommand::Gain(int nAddress, int nGainIndex)
{
    return {Frame(nAddress, "SPW\"WaRkuTE\";GAN" + Number(nGainIndex)), 3, kLongTimeoutMs};
}

ModuleRequest CModuleCommand::WriteIdentification(int nAddress, const QByteArray& field2,
                                                  const QByteArray& field3)
{
    return {Frame(nAddress, "IDN\"" + field2 + "\",\"" + field3 + "\""), 3, kLongTimeoutMs};
}

ModuleRequest CModuleCommand::Store(int nAddress, int nTimeoutMs)
{
    return {Frame(nAddress, "TDD1"), 3, nTimeoutMs};
}

ModuleRequest CModuleCommand::BinaryOutput(int nAddress, int nTimeoutMs)
{
    return {Frame(nAddress, "COF8"), 3, nTimeoutMs};
}

ModuleRequest CModuleCommand::Unlock(int nAddress, int nTimeoutMs)
{
    return {Frame(nAddress, "SPW\"NiLOx\""), 3, nTimeoutMs};
}

ModuleRequest CModuleCommand::ChecksumOn(int nAddress, int nTimeoutMs)
{
    return {Frame(nAddress, "CSM1"), 3, nTimeoutMs};
}

ModuleRequest CModuleCommand::NewAddress(int nAddress, int nNewAddress)
{
    return {Frame(nAddress, "adr" + AddressText(nNewAddress)), 3, kShortTimeoutMs};
}

ModuleRequest CModuleCommand::LinearPoint(int nAddress, int nIndex, int nValue)
{
    return {Frame(nAddress, "RLC" + Number(nIndex) + "," + Number(nValue)), 3, kShortTimeoutMs};
}

ModuleRequest CModuleCommand::Tare(int nAddress)
{
    return {Frame(nAddress, "TAR"), 3, kShortTimeoutMs};
}

ModuleRequest CModuleCommand::SelectNet(int nAddress, bool bNet)
{
    return {Frame(nAddress, bNet ? "TAS1" : "TAS0"), 3, kShortTimeoutMs};
}

ModuleRequest CModuleCommand::CaptureZero(int nAddress)
{
    return {Frame(nAddress, "LDW"), 10, kLongTimeoutMs};
}

ModuleRequest CModuleCommand::CaptureFullLoad(int nAddress)
{
    return {Frame(nAddress, "LWT"), 10, kLongTimeoutMs};
}

ModuleRequest CModuleCommand::MeasuredValue(int nAddress)
{
    return {Frame(nAddress, "MSV?"), 6, kShortTimeoutMs};
}

ModuleRequest CModuleCommand::AddressQuery(int nAddress)
{
    return {Frame(nAddress, "ADR?"), 3, 100};
}

QByteArray CModuleCommand::RawAddressQuery(int nAddress)
{
    return Frame(nAddress, "adr?");
}
