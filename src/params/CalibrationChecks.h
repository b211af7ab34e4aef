#pragma once

#include <QString>

#include <optional>

// The checks the calibration and linearisation controls make before anything
// goes to a module, shared by the page and the command line.
class CCalibrationChecks
{
public:
    static constexpr int kMinPoints = 4;
    static constexpr int kMaxPoints = 8;

    enum class Refusal
    {
        None,
        LdwEmpty,
        LwtEmpty,
        LwtNotAboveLdw, // equal points are refused too: there is no span
        NominalTooLarge,
    };

    // Writing both points: an empty field is nullopt.
    static Refusal CheckPoints(std::optional<qint32> nLdw, std::optional<qint32> nLwt);
    // Writing the nominal value: |NOV| may not exceed |LWT - LDW|, in 64 bits.
    static Refusal CheckNominal(qint32 nLdw, qint32 nLwt, qint32 nNov);
    // The page's message box for a refusal ("LDW不能为空!" …); empty for None.
    static QString Text(Refusal refusal);

    // A field's text as a whole signed 32-bit decimal number, surrounding
    // blanks allowed; empty text is nullopt, other text that is no such
    // number fails.
    static bool ParseField(const QString& strText, std::optional<qint32>& nValue);

    // Points 0 to 3 always show; point k while the point count is above k.
    static bool IsPointVisible(int nPoint, int nRln) { return nPoint < 4 || nRln > nPoint; }
    static bool IsPointCount(int nRln) { return nRln >= kMinPoints && nRln <= kMaxPoints; }
    static bool IsPointIndex(int nIndex) { return nIndex >= 0 && nIndex < kMaxPoints; }
};
