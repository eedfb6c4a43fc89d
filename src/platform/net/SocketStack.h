#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>

using TIPv4Bytes = std::array<std::uint8_t, 4>; // network order

// Outcome of a host name lookup: the first IPv4 address, or the Windows
// Sockets number of the failure.
struct TLookupResult {
    std::optional<TIPv4Bytes> Address;
    int ErrorCode = 0;
};

using THostLookup = std::function<TLookupResult(const std::string& name)>;

// The platform socket layer: name resolution, address texts and the checking
// of platform results. One instance per process, alive while any
// TNetComponent is (see Component.h).
class TSocketStack {
public:
    // The live instance. Without one, raises EWS2StubError naming `function`.
    static TSocketStack& Instance(const char* function);
    static bool Exists();

    // True when the text is four decimal numbers 0..255 joined by full stops.
    static bool IsIP(const std::string& text);
    // Four bytes from a dotted IPv4 text (network order). A text that is not
    // one raises ESocketError (invalid argument).
    static TIPv4Bytes AddressToBytes(const std::string& text);
    static std::string BytesToAddress(const TIPv4Bytes& address);

    // "LOCALHOST" in any letter case is 127.0.0.1 without a lookup; a dotted
    // IPv4 text is itself; anything else goes to the host lookup. A failed
    // lookup raises ESocketError (11001 "Host not found." for an unknown name).
    std::string ResolveHost(const std::string& host);

    // Replaces the host lookup of this instance (tests use it so that no name
    // query leaves the machine); an empty function restores the system's.
    void SetHostLookup(THostLookup lookup);
    // getaddrinfo() restricted to IPv4.
    static TLookupResult SystemHostLookup(const std::string& name);

    // Checks a platform result: -1 means failure. The failure's number is
    // stored as LastError(); a number in `ignore` makes the check return true
    // instead of raising ESocketError. Any other result passes (false).
    bool CheckForSocketError(int result, std::initializer_list<int> ignore = {});
    int LastError() const { return LastError_.load(std::memory_order_relaxed); }

    // The calling thread's last platform error (as a Windows Sockets number),
    // recorded by the socket calls right after they fail.
    static void RecordPlatformError(int errorCode);
    static int PlatformError();

private:
    friend class TNetComponent;
    TSocketStack() = default;
    static void Create();
    static void Destroy();

    std::atomic<int> LastError_{0};
    std::mutex LookupLock_;
    THostLookup Lookup_;
};
