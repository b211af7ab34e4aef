#pragma once

#include <QObject>
#include <QString>

#include <mutex>

class CRunControl;
class CTerminalPort;

// The four macro commands a script calls (as ScriptControlMacro.<name> or
// by the name alone). Lives on the script thread for one run. Writes go
// through the terminal's port layer; every pause and wait ends early when
// the run is stopped, and nothing is written once it is.
class CScriptControlMacroDispatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPauseMs = 80;
    static constexpr int kMaxScanAddress = 31;
    // A write waits while more than this waits to go out on the port.
    static constexpr qint64 kMaxPendingOutput = 64 * 1024;

    // writeGate is held by whoever stops the run while it sets the stop word.
    CScriptControlMacroDispatch(CRunControl& control, std::mutex& writeGate,
                                QObject* parent = nullptr);

    // The text as GBK bytes, then a pause; false without a page.
    Q_INVOKABLE bool Send(const QString& strText);
    // The bytes of the hexadecimal pairs up to the first invalid one, then a
    // pause; false without a page.
    Q_INVOKABLE bool SendHex(const QString& strText);
    // Waits nMs; a value below 1 returns at once.
    Q_INVOKABLE void Delay(int nMs);
    // "S%.2d;adr?;" for addresses 0 up to nLast, at most 31.
    Q_INVOKABLE void BusScan(int nLast);

    // The port layer the macros write through; null until set.
    CTerminalPort* m_pPage = nullptr;

private:
    bool Write(const QByteArray& bytes);

    CRunControl& m_control;
    std::mutex& m_writeGate;
};
