#include "platform/audio/PulseLibrary.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace tavora::platform::audio {

namespace {
// The library's run-time name (its soname), as the package installs it.
constexpr const char* LibraryName = "libpulse.so.0";

void resolve(void* library) {
    const auto symbol = [library](const char* name) {
        void* address = dlsym(library, name);
        if (!address)
            throw std::runtime_error(std::string("The sound library ") + LibraryName + " has no function " +
                                     name);
        return address;
    };
    // All or nothing: a library lacking one function leaves every pointer unset.
#define TAVORA_PULSE_FIND(name) void* const name##Address = symbol(#name);
    TAVORA_PULSE_FUNCTIONS(TAVORA_PULSE_FIND)
#undef TAVORA_PULSE_FIND
#define TAVORA_PULSE_SET(name) name = reinterpret_cast<decltype(name)>(name##Address);
    TAVORA_PULSE_FUNCTIONS(TAVORA_PULSE_SET)
#undef TAVORA_PULSE_SET
}
} // namespace

void loadPulseLibrary() {
    // A plain lock rather than std::call_once: the latter's thread-local
    // state would add the dynamic loader itself to the program's needed
    // libraries.
    static std::mutex mutex;
    static bool loaded = false;
    std::lock_guard lock(mutex);
    if (loaded)
        return;
    // Never closed: the library's own threads and atexit handlers may
    // outlive any object of the backend.
    void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        throw std::runtime_error(std::string("The sound library ") + LibraryName +
                                 " cannot be loaded: " + (why ? why : "unknown error"));
    }
    try {
        resolve(library);
    } catch (...) {
        dlclose(library);
        throw;
    }
    loaded = true;
}

} // namespace tavora::platform::audio
