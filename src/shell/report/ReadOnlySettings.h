#pragma once

#include "settings/SystemTestSettings.h"

#include <QString>

namespace tavora {

// The user's settings, and a sentence saying where they came from.
struct SettingsSnapshot {
    SystemTestSettings settings;
    QString origin;
};

// Loads the settings from the user's settings file without ever writing it:
// the file is read into a private in-memory registry, so even a missing key
// is not created.
SettingsSnapshot loadSettingsReadOnly();

} // namespace tavora
