#pragma once

#include <QString>

namespace tavora {

// Loads globalSettings from the user's settings file without ever writing
// it: the file is read into a private in-memory registry, so even a missing
// key is not created. Answers a sentence saying where the settings came from.
QString loadSettingsReadOnly();

} // namespace tavora
