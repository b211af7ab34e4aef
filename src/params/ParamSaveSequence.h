#pragma once

#include "module/ModuleParamRecord.h"
#include "params/SequenceSink.h"

#include <QByteArrayList>
#include <QStringList>

class CBusLink;

// Writes a record's parameter set to a module: the sixteen steps of a save
// (CParameterTable::SaveSteps), or a subset of them in the same order, each with its
// acknowledgement looked at and the next one sent either way; TDD1 stores them last.
class CParamSaveSequence
{
public:
    enum class Identification
    {
        Ok,
        NotThreeCommas, // never read, or a reply of another form
        BadField,       // a quote or semicolon, or too long for the module
    };

    struct Result
    {
        // The steps not acknowledged, in the order sent ("GAN" for the gain frame).
        QStringList m_arrNotAcknowledged;
        // The identification was not sent, and why.
        Identification m_identification = Identification::Ok;
        bool m_bIdentificationSkipped = false;
        bool m_bStopped = false;
    };

    CParamSaveSequence(CBusLink& link, CSequenceSink& sink) : m_link(link), m_sink(sink) {}

    // Sends the steps of arrSteps (empty: all of them) in the save's order.
    // The stop test (shutdown only) is asked before each command.
    Result Run(int nAddress, const ModuleParamRecord& record, const QByteArrayList& arrSteps = {},
               const StopTest& stop = {});

    // Fields 2 and 3 of an identification text, as the write sends them: the
    // texts between its first and second and its second and third comma.
    static Identification SplitIdentification(const QByteArray& text, QByteArray& field2,
                                              QByteArray& field3);
    // A field may go into the quoted write: no quote, no semicolon (either
    // would end the argument or the frame), at most nMaxBytes code page 936 bytes.
    static bool IsWritableField(const QByteArray& field, int nMaxBytes);

private:
    CBusLink& m_link;
    CSequenceSink& m_sink;
};
