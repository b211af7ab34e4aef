#pragma once

#include "settings/ParamsManager.h"

#include <QString>

// COM number -> device path, kept as plain text in group "PortMap" of the
// settings file. An unmapped number is left to the bus link's default.
class CPortMap
{
public:
    // The longest device path taken from the file (PATH_MAX).
    static constexpr int kMaxDeviceChars = 4096;

    explicit CPortMap(const QString& strFile = CParamsManager::DefaultSettingsFile());

    // Empty when COM<nPort> is unmapped, or mapped to what cannot be a path.
    QString DeviceFor(int nPort) const;
    // An empty path removes the mapping. False when the file cannot be written.
    bool SetDevice(int nPort, const QString& strDevice);

    QString File() const { return m_strFile; }

private:
    QString m_strFile;
};
