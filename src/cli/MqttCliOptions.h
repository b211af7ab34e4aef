#pragma once

#include "remote/MqttSettings.h"

#include <QStringList>

#include <optional>

// The publishing options of msv and patrol: --mqtt HOST[:PORT], --topic PREFIX,
// --mqtt-user USER, --mqtt-password-file FILE, --tls-ca FILE, --tls-cert FILE,
// --tls-key FILE, --qos 0|1. Removes them from arrArgs; settings stays unset
// without --mqtt. False with a message for a usage error (bad port, unreadable
// file, an option without --mqtt).
bool TakeMqttOptions(QStringList& arrArgs, std::optional<MqttSettings>& settings,
                     QString& strError);
