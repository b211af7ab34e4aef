#include "settings/PortMap.h"

#include "settings/SettingsSetAside.h"

#include <QSettings>

namespace {

QString PortKey(int nPort)
{
    return QStringLiteral("PortMap/COM%1").arg(nPort);
}

} // namespace

CPortMap::CPortMap(const QString& strFile) : m_strFile(strFile) {}

QString CPortMap::DeviceFor(int nPort) const
{
    if (!CSettingsSetAside::IsUsable(m_strFile))
        return QString();
    const QSettings settings(m_strFile, QSettings::IniFormat);
    const QVariant value = settings.value(PortKey(nPort));
    if (value.typeId() != QMetaType::QString)
        return QString();
    // A hand-edited entry no device path can be (a NUL inside, longer than a
    // path may be) leaves the number unmapped.
    const QString strDevice = value.toString().trimmed();
    if (strDevice.contains(QChar(0)) || strDevice.size() > kMaxDeviceChars)
        return QString();
    return strDevice;
}

bool CPortMap::SetDevice(int nPort, const QString& strDevice)
{
    if (!CSettingsSetAside::IsUsable(m_strFile))
        return false;
    QSettings settings(m_strFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError || !settings.isWritable())
        return false;
    const QString strPath = strDevice.trimmed();
    if (strPath.isEmpty())
        settings.remove(PortKey(nPort));
    else
        settings.setValue(PortKey(nPort), strPath);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
