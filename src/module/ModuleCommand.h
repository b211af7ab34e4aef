#pragma once

#include <QByteArray>

// A command text for one module with the reply length and time-out it is
// sent with. Settings and actions are acknowledged, so their length is 3.
struct ModuleRequest
{
    QByteArray m_text;
    int m_nReplyLen = 3;
    int m_nTimeoutMs = 1500;
};

// The frames the tool sends: "S" + address of at least two digits + ";" +
// body + ";". Nothing else goes on the wire.
class CModuleCommand
{
public:
    static constexpr int kLongTimeoutMs = 1500;
    static constexpr int kShortTimeoutMs = 500;

    static QByteArray Frame(int nAddress, const QByteArray& body);
    // "%.2d": at least two digits, a sign before them.
    static QByteArray AddressText(int nAddress);

    // "S%.2d;XXX?;" with the reply length of that query. The tare query right
    // after a tare is the one caller that passes the short time-out.
    static ModuleRequest Query(int nAddress, const char* pszMnemonic,
                               int nTimeoutMs = kLongTimeoutMs);
    // "S%.2d;XXX%d;" with the parameter table's setting time-out: 1500 ms for
    // the settings of a save, 500 ms for the calibration and linearisation writes.
    static ModuleRequest Set(int nAddress, const char* pszMnemonic, int nValue);

    static ModuleRequest Gain(int nAddress, int nGainIndex);
    static ModuleRequest WriteIdentification(int nAddress, const QByteArray& field2,
                                             const QByteArray& field3);
    static ModuleRequest Store(int nAddress, int nTimeoutMs);
    static ModuleRequest BinaryOutput(int nAddress, int nTimeoutMs);
    static ModuleRequest Unlock(int nAddress, int nTimeoutMs);
    static ModuleRequest ChecksumOn(int nAddress, int nTimeoutMs);
    static ModuleRequest NewAddress(int nAddress, int nNewAddress);
    static ModuleRequest LinearPoint(int nAddress, int nIndex, int nValue);
    static ModuleRequest Tare(int nAddress);
    static ModuleRequest SelectNet(int nAddress, bool bNet);
    // "S%.2d;LDW;" / "S%.2d;LWT;": capture the current signal as zero or full load.
    static ModuleRequest CaptureZero(int nAddress);
    static ModuleRequest CaptureFullLoad(int nAddress);
    static ModuleRequest MeasuredValue(int nAddress);
    static ModuleRequest AddressQuery(int nAddress);
    // The lower-case address query a script writes raw, outside any transaction.
    static QByteArray RawAddressQuery(int nAddress);

    // Reply length of "XXX?": the parameter table's for a parameter, else 3.
    static int QueryReplyLength(const char* pszMnemonic);
};
