#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>

namespace tavora {

using IPv4Bytes = std::array<std::uint8_t, 4>; // network order

// Outcome of a host name lookup: the first IPv4 address, or the Windows
// Sockets number of the failure.
struct LookupResult {
    std::optional<IPv4Bytes> address;
    int errorCode = 0;
};

using HostLookup = std::function<LookupResult(const std::string& name)>;

// The platform socket layer: name resolution, address texts and the checking
// of platform results. One instance per process, alive while any
// NetComponent is (see NetComponent.h).
class SocketStack {
    // Only create() makes an instance.
    struct Key {
        explicit Key() = default;
    };

public:
    explicit SocketStack(Key) {}

    // The live instance. Without one, raises EWS2StubError naming `function`.
    static SocketStack& instance(const char* function);
    static bool exists();

    // True when the text is four decimal numbers 0..255 joined by full stops.
    static bool isIP(const std::string& text);
    // Four bytes from a dotted IPv4 text (network order). A text that is not
    // one raises SocketError (invalid argument).
    static IPv4Bytes addressToBytes(const std::string& text);
    static std::string bytesToAddress(const IPv4Bytes& address);

    // "LOCALHOST" in any letter case is 127.0.0.1 without a lookup; a dotted
    // IPv4 text is itself; anything else goes to the host lookup. A failed
    // lookup raises SocketError (11001 "Host not found." for an unknown name).
    std::string resolveHost(const std::string& host);
    // resolveHost in its parts, for a caller that runs the lookup elsewhere:
    // the address that needs no lookup ("LOCALHOST", a dotted text), the
    // lookup in force, and the address of its result (or its error raised).
    static std::optional<std::string> literalAddress(const std::string& host);
    HostLookup hostLookup();
    std::string lookedUpAddress(const LookupResult& result);

    // Replaces the host lookup of this instance (tests use it so that no name
    // query leaves the machine); an empty function restores the system's.
    void setHostLookup(HostLookup lookup);
    // getaddrinfo() restricted to IPv4.
    static LookupResult systemHostLookup(const std::string& name);

    // Checks a platform result: -1 means failure. The failure's number is
    // stored as lastError(); a number in `ignore` makes the check return true
    // instead of raising SocketError. Any other result passes (false).
    bool checkForSocketError(int result, std::initializer_list<int> ignore = {});
    int lastError() const { return lastError_.load(std::memory_order_relaxed); }

    // The calling thread's last platform error (as a Windows Sockets number),
    // recorded by the socket calls right after they fail.
    static void recordPlatformError(int errorCode);
    static int platformError();

private:
    friend class NetComponent;
    static void create();
    static void destroy();

    std::atomic<int> lastError_{0};
    std::mutex lookupLock_;
    HostLookup lookup_;
};

} // namespace tavora
