#pragma once

#include "sim/SimOptions.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <functional>
#include <optional>
#include <random>

// One simulated weighing module: its parameters, their stored copies, the
// unlock state, gross/net and tare, and the measured signal.
class CSimModule
{
public:
    static constexpr int kModelLen = 15;
    static constexpr int kSerialLen = 7;

    struct Params
    {
        qint32 m_nFmd = 0;
        qint32 m_nAsf = 2;
        qint32 m_nAdi = 10;
        qint32 m_nCoc = 100;
        qint32 m_nCof = 8;
        qint32 m_nTav = 0;
        qint32 m_nIcr = 120;
        qint32 m_nZtr = 0;
        qint32 m_nZts = 1;
        qint32 m_nZse = 0;
        qint32 m_nStr = 0;
        qint32 m_nCsm = 0;
        qint32 m_nLdw = 120000;
        qint32 m_nLwt = 920000;
        qint32 m_nNov = 10000;
        qint32 m_nChp = 0;
        qint32 m_nGan = 7;
        qint32 m_nRle = 0;
        qint32 m_nRln = 4;
        std::array<qint32, 8> m_arrRlc{};
        QByteArray m_strModel;  // 15 characters, space padded
        QByteArray m_strSerial; // 7 characters, space padded

        bool operator==(const Params&) const = default;
    };

    // What one frame gave: the reply (empty: none) and how long the module needs
    // before it can send it.
    struct Result
    {
        QByteArray m_reply;
        int m_nDelayMs = 0;
        bool m_bBinary = false; // the reply is a binary measured value
    };

    // Tells whether the module may move to an address.
    using AddressFree = std::function<bool(int nAddress)>;

    CSimModule(int nAddress, const SimOptions& options);

    int Address() const { return m_nAddress; }

    // Runs the commands of one frame (each without its ';') at dSeconds since the
    // bus started; the reply is that of the last command.
    Result RunFrame(const QList<QByteArray>& commands, double dSeconds,
                    const AddressFree& addressFree);

    // Power off and on: stored parameters back, locked, gross mode.
    void PowerCycle();

    // A weight on the scale, in raw counts on top of the zero offset.
    void SetExtraLoad(qint32 nRaw) { m_nExtraLoad = nRaw; }
    // A fixed raw signal instead of offset, load and noise.
    void SetRaw(qint32 nRaw) { m_nFixedRaw = nRaw; }
    void SetZtsSupported(bool bSupported) { m_bZtsSupported = bSupported; }
    void SetRefusedWrites(const QList<QByteArray>& arrMnemonics)
    {
        m_arrRefusedWrites = arrMnemonics;
    }
    // 0: the option's capture delay.
    void SetCaptureDelayMs(int nMs) { m_nCaptureDelayFaultMs = nMs; }
    void SetUnknownQueries(const QList<QByteArray>& arrMnemonics)
    {
        m_arrUnknownQueries = arrMnemonics;
    }

    qint32 RawAt(double dSeconds);
    qint32 GrossAt(double dSeconds);
    qint32 ValueAt(double dSeconds); // net in net mode, else gross

    const Params& Current() const { return m_params; }
    const Params& Stored() const { return m_stored; }
    bool IsUnlocked() const { return m_bUnlocked; }
    bool IsNet() const { return m_bNet; }

private:
    QByteArray RunCommand(const QByteArray& command, double dSeconds,
                          const AddressFree& addressFree, Result& result);
    QByteArray RunQuery(const QByteArray& mnemonic, double dSeconds, Result& result);
    QByteArray RunWrite(const QByteArray& mnemonic, const QByteArray& argument, double dSeconds,
                        const AddressFree& addressFree, Result& result);
    QByteArray Identification() const;
    QByteArray BinaryValue(qint32 nValue) const;
    qint32* SmallParam(const QByteArray& mnemonic, int& nMin, int& nMax);

    int m_nAddress;
    Params m_params;
    Params m_stored;
    bool m_bUnlocked = false;
    bool m_bGainUnlocked = false; // only within the current frame
    bool m_bNet = false;
    bool m_bZtsSupported = true;
    QList<QByteArray> m_arrUnknownQueries;
    QList<QByteArray> m_arrRefusedWrites;
    std::optional<qint32> m_nFixedRaw;
    int m_nCaptureDelayFaultMs = 0;
    double m_dBusyUntil = 0.0; // seconds since the bus started
    qint32 m_nZeroOffset;
    qint32 m_nExtraLoad = 0;
    double m_dPhase;
    int m_nLoadSwing;
    double m_dLoadPeriodS;
    int m_nNoise;
    int m_nCaptureDelayMs;
    std::mt19937 m_rng;
};
