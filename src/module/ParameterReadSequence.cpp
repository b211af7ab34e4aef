#include "module/ParameterReadSequence.h"

#include "module/ModuleCommand.h"

const QList<CParameterReadSequence::Step>& CParameterReadSequence::Steps()
{
    static const QList<Step> kSteps = [] {
        QList<Step> steps;
        for (const char* psz : {"FMD", "ASF", "ADI", "COC", "COF", "TAV", "ICR", "ZTR", "ZTS",
                                "ZSE", "STR", "CSM", "LDW", "LWT", "NOV", "CHP", "GAN", "RLE",
                                "RLN", "IDN"}) {
            const QByteArray mnemonic(psz);
            Reading reading = Reading::Number;
            if (mnemonic == "ICR")
                reading = Reading::Rate;
            else if (mnemonic == "ZTS")
                reading = Reading::Unsupportable;
            else if (mnemonic == "IDN")
                reading = Reading::Identification;
            steps.append({psz, CModuleCommand::QueryReplyLength(psz), CModuleCommand::kLongTimeoutMs,
                          reading});
        }
        return steps;
    }();
    return kSteps;
}
