#pragma once

#include "settings/ComSettings.h"
#include "settings/ParamsManager.h"
#include "settings/PlotSettings.h"

#include <QString>

// The two stored records and the rule for them: read at start, and a record
// that cannot be read is replaced by the caller's current (default) values.
class CSettingsStore
{
public:
    static constexpr const char* kGroup = "Params";
    static constexpr const char* kComSettingsName = "ComSettings";
    static constexpr const char* kPlotSettingsName = "PlotSettings";

    // A settings file QSettings must not read is set aside first (CSettingsSetAside).
    explicit CSettingsStore(const QString& strFile = CParamsManager::DefaultSettingsFile());

    // Fills both records from the file; a record that is missing or of another
    // size keeps its value, which is written back. A record read whole has
    // each damaged field at its default, and is written back repaired.
    void Load(ComSettings& comSettings, PlotSettings& plotSettings);
    // The same without writing anything back (the command-line tool's view).
    void LoadReadOnly(ComSettings& comSettings, PlotSettings& plotSettings);
    bool SaveComSettings(const ComSettings& comSettings);
    bool SavePlotSettings(const PlotSettings& plotSettings);

    QString File() const { return m_params.RootFile(); }
    // Empty unless the file was set aside (or could not be) at construction.
    QString SetAsideMessage() const { return m_strSetAsideMessage; }

private:
    QString m_strSetAsideMessage;
    CParamsManager m_params;
};
