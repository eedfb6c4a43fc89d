#pragma once

#include <QStringList>

#include <cstdint>

namespace tavora {

// The wizard's command line: an optional first argument "audio" (any letter
// case) for audio-only mode, then the message number and the window handle of
// the close notification. A missing or non-integer number is 0.
struct CommandLine {
    bool audioOnlyMode = false;
    int32_t notifyMessage = 0;
    int32_t notifyWindow = 0;
};

// `arguments` excludes the program name.
CommandLine parseCommandLine(const QStringList& arguments);

// Integer text as the command line takes it: optional sign, decimal digits, or
// hexadecimal after "$" or "0x"; anything else, or a value outside 32 bits, is
// `fallback`.
int32_t strToIntDef(const QString& text, int32_t fallback);

} // namespace tavora
