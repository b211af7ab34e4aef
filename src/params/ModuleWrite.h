#pragma once

#include "module/ModuleCommand.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CBusLink;

// One write of a calibration or linearisation sequence, and how the module
// took it: a refusal ("?\r\n") and silence are told apart from other replies,
// so that the command line can say which it was.
class CModuleWrite
{
public:
    enum class Outcome
    {
        Acknowledged,
        Refused,        // "?\r\n"
        NoReply,        // nothing within the time-out, second attempt included
        NotAcknowledged // any other reply
    };

    struct Step
    {
        QByteArray m_name; // as the sequence names it: "LDW", "RLC2", "TDD1"
        Outcome m_outcome = Outcome::Acknowledged;
    };

    // What a sequence of writes gave: the steps that failed, in the order sent.
    struct Result
    {
        QList<Step> m_arrFailed;
        bool m_bStopped = false;

        bool Succeeded() const { return m_arrFailed.isEmpty() && !m_bStopped; }
        // "写入失败: LWT TDD1", the box a page shows; empty when none failed.
        QString FailureText() const;
    };

    // Sends the write with Command (its time-out, a second attempt).
    static Outcome Send(CBusLink& link, const ModuleRequest& request);
    // "NAME: refused", "NAME: no reply" or "NAME: not acknowledged".
    static QString Describe(const Step& step);
};
