#include "module/ParameterTable.h"

#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"

#include <limits>

namespace {

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();

} // namespace

bool CParameterTable::Parameter::Accepts(qint32 nValue) const
{
    if (m_list)
        return CValueTables::PositionOf(*m_list, nValue) >= 0;
    return nValue >= m_nMin && nValue <= m_nMax;
}

const QList<CParameterTable::Parameter>& CParameterTable::Parameters()
{
    using List = CValueTables::List;
    using R = ModuleParamRecord;
    constexpr int kLong = CModuleCommand::kLongTimeoutMs;
    // Calibration and linearisation values are set with the short time-out.
    constexpr int kShort = CModuleCommand::kShortTimeoutMs;
    static const QList<Parameter> kParameters = {
        {"FMD", &R::m_nFmd, Reading::ListIndex, List::FilterMode, kMin, kMax, 3, kLong, kLong,
         true},
        {"ASF", &R::m_nAsf, Reading::ListIndex, List::DigitalFilter, kMin, kMax, 3, kLong, kLong,
         true},
        {"ADI", &R::m_nAdi, Reading::Number, std::nullopt, 0, 500, 3, kLong, kLong, true},
        {"COC", &R::m_nCoc, Reading::Number, std::nullopt, 0, 999, 3, kLong, kLong, true},
        {"COF", &R::m_nCof, Reading::Number, std::nullopt, kMin, kMax, 3, kLong, kLong, true},
        {"TAV", &R::m_nTav, Reading::Number, std::nullopt, kMin, kMax, 10, kLong, kLong, true},
        {"ICR", &R::m_nIcr, Reading::Rate, List::OutputRate, kMin, kMax, 3, kLong, kLong, true},
        {"ZTR", &R::m_nZtr, Reading::ListIndex, List::ZeroTrackRange, kMin, kMax, 3, kLong, kLong,
         true},
        {"ZTS", &R::m_nZts, Reading::Unsupportable, List::ZeroTrackSpeed, kMin, kMax, 3, kLong,
         kLong, true},
        {"ZSE", &R::m_nZse, Reading::ListIndex, List::PowerOnZero, kMin, kMax, 3, kLong, kLong,
         true},
        {"STR", &R::m_nStr, Reading::ListIndex, List::OnOff, kMin, kMax, 3, kLong, kLong, true},
        {"CSM", &R::m_nCsm, Reading::ListIndex, List::OnOff, kMin, kMax, 3, kLong, kLong, true},
        {"LDW", &R::m_nLdw, Reading::Number, std::nullopt, kMin, kMax, 10, kLong, kShort, false},
        {"LWT", &R::m_nLwt, Reading::Number, std::nullopt, kMin, kMax, 10, kLong, kShort, false},
        {"NOV", &R::m_nNov, Reading::Number, std::nullopt, kMin, kMax, 9, kLong, kShort, false},
        {"CHP", &R::m_nChp, Reading::ListIndex, List::OnOff, kMin, kMax, 3, kLong, kLong, true},
        {"GAN", &R::m_nGan, Reading::ListIndex, List::Gain, kMin, kMax, 3, kLong, kLong, true},
        {"RLE", &R::m_nRle, Reading::ListIndex, List::OnOff, kMin, kMax, 3, kLong, kShort, false},
        // The point count itself, 4 to 8; its list shows it at count - 4.
        {"RLN", &R::m_nRln, Reading::Number, List::LinearPoints, kMin, kMax, 3, kLong, kShort,
         false},
        {"IDN", nullptr, Reading::Identification, std::nullopt, kMin, kMax, 33, kLong, kLong, true},
    };
    return kParameters;
}

const CParameterTable::Parameter* CParameterTable::Find(const QByteArray& mnemonic)
{
    for (const Parameter& parameter : Parameters())
        if (mnemonic == parameter.m_pszMnemonic)
            return &parameter;
    return nullptr;
}

const QByteArrayList& CParameterTable::SaveSteps()
{
    static const QByteArrayList kSteps = [] {
        QByteArrayList steps;
        for (const Parameter& parameter : Parameters())
            if (parameter.m_bSaved)
                steps.append(parameter.m_pszMnemonic);
        steps.append("TDD1");
        return steps;
    }();
    return kSteps;
}

bool CParameterTable::ReadValue(const Parameter& parameter, const QByteArray& reply, int& nValue)
{
    if (parameter.m_reading == Reading::Identification)
        return false;
    if (parameter.m_reading == Reading::Unsupportable && CModuleReply::IsUnsupported(reply))
        return false;
    nValue = CModuleReply::Atoi(reply);
    return true;
}
