#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Where a module sequence reports its progress: grid cells, the weight
// display, the values it reads and the steps it sends. Every call comes from
// the thread that runs the sequence; a page hands the reports on to its UI
// thread, the command line prints them. The defaults ignore a report.
class CSequenceSink
{
public:
    virtual ~CSequenceSink() = default;

    virtual void SetCellText(int /*nAddress*/, const QString& /*strText*/) {}
    // A progress text in the weight display, in its small font.
    virtual void ShowProgress(const QString& /*strText*/) {}
    // The operation ended: the display is cleared and goes back to its large font.
    virtual void ClearProgress() {}

    // A parameter read: a value, a parameter the module lacks, the identification.
    virtual void OnValue(const char* /*pszMnemonic*/, qint32 /*nValue*/) {}
    virtual void OnUnsupported(const char* /*pszMnemonic*/) {}
    virtual void OnIdentification(const QByteArray& /*text*/) {}

    // A write: acknowledged or not.
    virtual void OnAcknowledged(const char* /*pszMnemonic*/) {}
    virtual void OnNotAcknowledged(const char* /*pszMnemonic*/) {}

    // A scan: a module answered at this address.
    virtual void OnAddressFound(int /*nAddress*/) {}
};

// Asked before each command of a sequence that can be cut short.
using StopTest = std::function<bool()>;
