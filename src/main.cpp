#include "shell/WizardMain.h"

#include <cstdio>
#include <cstdlib>

namespace {
// Qt aborts with a toolkit error when no display can be opened; say plainly
// what is missing instead.
bool displayAvailable() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fputs("tavora-wizard: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start the wizard from a desktop session.\n",
                   stderr);
        return 1;
    }
    return WizardMain(argc, argv);
}
