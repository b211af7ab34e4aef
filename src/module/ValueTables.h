#pragma once

#include <QStringList>

// The entries of the parameter page's choice lists and the setting argument
// behind each entry. The argument is the entry's position, except for the
// output rate (the rate itself) and the linearisation point count
// (position + 4).
class CValueTables
{
public:
    enum class List
    {
        FilterMode,      // FMD
        DigitalFilter,   // ASF
        OutputRate,      // ICR
        ZeroTrackRange,  // ZTR
        ZeroTrackSpeed,  // ZTS
        PowerOnZero,     // ZSE
        OnOff,           // STR, CSM, CHP, RLE
        Gain,            // GAN
        LinearPoints,    // RLN
        Unit,            // display only
        DisplayDivision, // display only
        DecimalPoint,    // display only: position = decimals
    };

    static const QStringList& Entries(List list);
    // The setting argument for the entry at nPosition; -1 outside the list.
    static int ArgumentAt(List list, int nPosition);
    // The position whose argument is nArgument; -1 when no entry has it.
    static int PositionOf(List list, int nArgument);
};
