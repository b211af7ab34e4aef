#include "module/ParameterReadSequence.h"

#include "module/ModuleCommand.h"
#include "module/ModuleReply.h"

const QList<CParameterReadSequence::Step>& CParameterReadSequence::Steps()
{
    using List = CValueTables::List;
    struct Entry
    {
        const char* m_pszMnemonic;
        Reading m_reading;
        std::optional<List> m_list;
    };
    static const QList<Step> kSteps = [] {
        const Entry entries[] = {
            {"FMD", Reading::ListIndex, List::FilterMode},
            {"ASF", Reading::ListIndex, List::DigitalFilter},
            {"ADI", Reading::Number, std::nullopt},
            {"COC", Reading::Number, std::nullopt},
            {"COF", Reading::Number, std::nullopt},
            {"TAV", Reading::Number, std::nullopt},
            {"ICR", Reading::Rate, List::OutputRate},
            {"ZTR", Reading::ListIndex, List::ZeroTrackRange},
            {"ZTS", Reading::Unsupportable, List::ZeroTrackSpeed},
            {"ZSE", Reading::ListIndex, List::PowerOnZero},
            {"STR", Reading::ListIndex, List::OnOff},
            {"CSM", Reading::ListIndex, List::OnOff},
            {"LDW", Reading::Number, std::nullopt},
            {"LWT", Reading::Number, std::nullopt},
            {"NOV", Reading::Number, std::nullopt},
            {"CHP", Reading::ListIndex, List::OnOff},
            {"GAN", Reading::ListIndex, List::Gain},
            {"RLE", Reading::ListIndex, List::OnOff},
            // The point count itself, 4 to 8; its list shows it at count - 4.
            {"RLN", Reading::Number, List::LinearPoints},
            {"IDN", Reading::Identification, std::nullopt},
        };
        QList<Step> steps;
        for (const Entry& entry : entries)
            steps.append({entry.m_pszMnemonic,
                          CModuleCommand::QueryReplyLength(entry.m_pszMnemonic),
                          CModuleCommand::kLongTimeoutMs, entry.m_reading, entry.m_list});
        return steps;
    }();
    return kSteps;
}

bool CParameterReadSequence::ReadValue(const Step& step, const QByteArray& reply, int& nValue)
{
    if (step.m_reading == Reading::Identification)
        return false;
    if (step.m_reading == Reading::Unsupportable && CModuleReply::IsUnsupported(reply))
        return false;
    nValue = CModuleReply::Atoi(reply);
    return true;
}
