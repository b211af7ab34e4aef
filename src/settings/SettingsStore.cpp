#include "settings/SettingsStore.h"

#include "settings/SettingsSetAside.h"

namespace {

enum class ReadResult
{
    Intact,
    Repaired,
    Failed
};

// A record read whole has each damaged field put back at its default.
template <typename Record>
ReadResult Read(CParamsManager& params, const QString& strName, Record& record)
{
    QByteArray bytes(Record::kSize, '\0');
    int nLen = Record::kSize;
    Record read = record;
    if (!params.ReadSetting(strName, bytes.data(), nLen) || !read.FromBytes(bytes))
        return ReadResult::Failed;
    const bool bRepaired = read.RepairFields();
    record = read;
    return bRepaired ? ReadResult::Repaired : ReadResult::Intact;
}

template <typename Record>
void ReadOrWriteBack(CParamsManager& params, const QString& strName, Record& record)
{
    if (Read(params, strName, record) == ReadResult::Intact)
        return;
    const QByteArray current = record.ToBytes();
    params.WriteSetting(strName, current.constData(), static_cast<int>(current.size()));
}

template <typename Record>
bool Write(CParamsManager& params, const QString& strName, const Record& record)
{
    const QByteArray bytes = record.ToBytes();
    return params.WriteSetting(strName, bytes.constData(), static_cast<int>(bytes.size()));
}

} // namespace

CSettingsStore::CSettingsStore(const QString& strFile)
    : m_strSetAsideMessage(CSettingsSetAside::SetAsideIfUnusable(strFile))
{
    m_params.OpenSettingsKey(strFile, QLatin1String(kGroup));
}

void CSettingsStore::Load(ComSettings& comSettings, PlotSettings& plotSettings)
{
    ReadOrWriteBack(m_params, QLatin1String(kComSettingsName), comSettings);
    ReadOrWriteBack(m_params, QLatin1String(kPlotSettingsName), plotSettings);
}

void CSettingsStore::LoadReadOnly(ComSettings& comSettings, PlotSettings& plotSettings)
{
    Read(m_params, QLatin1String(kComSettingsName), comSettings);
    Read(m_params, QLatin1String(kPlotSettingsName), plotSettings);
}

bool CSettingsStore::SaveComSettings(const ComSettings& comSettings)
{
    return Write(m_params, QLatin1String(kComSettingsName), comSettings);
}

bool CSettingsStore::SavePlotSettings(const PlotSettings& plotSettings)
{
    return Write(m_params, QLatin1String(kPlotSettingsName), plotSettings);
}
