#pragma once

#include <cstdint>

namespace tavora {

// Name of the client-message type atom the wizard sends when it closes.
inline constexpr const char* CloseNotificationAtom = "TAVORA_WIZARD_NOTIFY";

// Sends an X11 ClientMessage (format 32) to `window` on the display named by
// DISPLAY, carrying `message` and two zero parameters in data32[0..2]. Like a
// posted window message, the outcome is not reported: without a display, or
// for a window that does not exist, nothing happens.
void postCloseNotification(uint32_t window, uint32_t message);

} // namespace tavora
