#include "settings/PortMap.h"

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
    const QSettings settings(m_strFile, QSettings::IniFormat);
    const QVariant value = settings.value(PortKey(nPort));
    if (value.typeId() != QMetaType::QString)
        return QString();
    return value.toString().trimmed();
}

bool CPortMap::SetDevice(int nPort, const QString& strDevice)
{
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
