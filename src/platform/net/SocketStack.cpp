#include "platform/net/SocketStack.h"

#include "platform/net/NetExceptions.h"
#include "platform/net/SocketErrors.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// Written only by TNetComponent under its lock; read by any thread that works
// with a component, which keeps the instance alive meanwhile.
std::atomic<TSocketStack*> gInstance{nullptr};

thread_local int tPlatformError = 0;

bool EqualsIgnoreCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A decimal integer 0..255 made of digits only (leading zeros allowed).
bool ParseOctet(const std::string& part, std::uint8_t& value) {
    if (part.empty())
        return false;
    unsigned number = 0;
    for (char c : part) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
        if (number > 255)
            return false;
    }
    value = static_cast<std::uint8_t>(number);
    return true;
}

// Splits at the first three full stops; the fourth part is the rest, so
// "1.2.3.4.5" gives a fourth part "4.5" that is not a number.
std::optional<TIPv4Bytes> ParseDotted(const std::string& text) {
    TIPv4Bytes bytes{};
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t end = i < 3 ? text.find('.', start) : std::string::npos;
        if (i < 3 && end == std::string::npos)
            return std::nullopt;
        const std::string part =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!ParseOctet(part, bytes[static_cast<std::size_t>(i)]))
            return std::nullopt;
        start = end + 1;
    }
    return bytes;
}

} // namespace

void TSocketStack::Create() {
    // POSIX sockets need no start-up of their own.
    gInstance.store(new TSocketStack, std::memory_order_release);
}

void TSocketStack::Destroy() {
    delete gInstance.exchange(nullptr, std::memory_order_acq_rel);
}

TSocketStack& TSocketStack::Instance(const char* function) {
    TSocketStack* stack = gInstance.load(std::memory_order_acquire);
    if (!stack)
        throw EWS2StubError::CallFailed(function);
    return *stack;
}

bool TSocketStack::Exists() {
    return gInstance.load(std::memory_order_acquire) != nullptr;
}

bool TSocketStack::IsIP(const std::string& text) {
    return ParseDotted(text).has_value();
}

TIPv4Bytes TSocketStack::AddressToBytes(const std::string& text) {
    const auto bytes = ParseDotted(text);
    if (!bytes)
        throw ESocketError(WinsockError::InvalidArgument);
    return *bytes;
}

std::string TSocketStack::BytesToAddress(const TIPv4Bytes& address) {
    return std::to_string(address[0]) + '.' + std::to_string(address[1]) + '.' + std::to_string(address[2]) +
           '.' + std::to_string(address[3]);
}

std::string TSocketStack::ResolveHost(const std::string& host) {
    if (EqualsIgnoreCase(host, "LOCALHOST"))
        return "127.0.0.1";
    if (IsIP(host))
        return host;

    THostLookup lookup;
    {
        std::lock_guard lock(LookupLock_);
        lookup = Lookup_;
    }
    const TLookupResult result = lookup ? lookup(host) : SystemHostLookup(host);
    if (result.Address)
        return BytesToAddress(*result.Address);
    RecordPlatformError(result.ErrorCode ? result.ErrorCode : WinsockError::HostNotFound);
    CheckForSocketError(-1);
    return {}; // not reached: the check raises
}

void TSocketStack::SetHostLookup(THostLookup lookup) {
    std::lock_guard lock(LookupLock_);
    Lookup_ = std::move(lookup);
}

TLookupResult TSocketStack::SystemHostLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    errno = 0;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &answer);
    if (rc != 0)
        return {std::nullopt, WinsockErrorFromLookup(rc, errno)};
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(answer, &freeaddrinfo);
    for (const addrinfo* entry = answer; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || !entry->ai_addr)
            continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ai_addr, sizeof address);
        TIPv4Bytes bytes{};
        std::memcpy(bytes.data(), &address.sin_addr.s_addr, 4);
        return {bytes, 0};
    }
    return {std::nullopt, WinsockError::NoData};
}

bool TSocketStack::CheckForSocketError(int result, std::initializer_list<int> ignore) {
    if (result != -1)
        return false;
    const int error = PlatformError();
    LastError_.store(error, std::memory_order_relaxed);
    if (std::find(ignore.begin(), ignore.end(), error) != ignore.end())
        return true;
    throw ESocketError(error);
}

void TSocketStack::RecordPlatformError(int errorCode) {
    tPlatformError = errorCode;
}

int TSocketStack::PlatformError() {
    return tPlatformError;
}
