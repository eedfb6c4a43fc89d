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

namespace tavora {

namespace {

// Created and destroyed only by NetComponent under its lock.
std::unique_ptr<SocketStack> gOwnedInstance;
// The same object for any thread that works with a network object, which
// keeps the instance alive meanwhile.
std::atomic<SocketStack*> gInstance{nullptr};

thread_local int tPlatformError = 0;

bool equalsIgnoreCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A decimal integer 0..255 made of digits only (leading zeros allowed).
bool parseOctet(const std::string& part, std::uint8_t& value) {
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
std::optional<IPv4Bytes> parseDotted(const std::string& text) {
    IPv4Bytes bytes{};
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t end = i < 3 ? text.find('.', start) : std::string::npos;
        if (i < 3 && end == std::string::npos)
            return std::nullopt;
        const std::string part =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!parseOctet(part, bytes[static_cast<std::size_t>(i)]))
            return std::nullopt;
        start = end + 1;
    }
    return bytes;
}

} // namespace

void SocketStack::create() {
    // POSIX sockets need no start-up of their own.
    gOwnedInstance = std::make_unique<SocketStack>(Key{});
    gInstance.store(gOwnedInstance.get(), std::memory_order_release);
}

void SocketStack::destroy() {
    gInstance.store(nullptr, std::memory_order_release);
    gOwnedInstance.reset();
}

SocketStack& SocketStack::instance(const char* function) {
    SocketStack* stack = gInstance.load(std::memory_order_acquire);
    if (!stack)
        throw EWS2StubError::callFailed(function);
    return *stack;
}

bool SocketStack::exists() {
    return gInstance.load(std::memory_order_acquire) != nullptr;
}

bool SocketStack::isIP(const std::string& text) {
    return parseDotted(text).has_value();
}

IPv4Bytes SocketStack::addressToBytes(const std::string& text) {
    const auto bytes = parseDotted(text);
    if (!bytes)
        throw SocketError(WinsockError::InvalidArgument);
    return *bytes;
}

std::string SocketStack::bytesToAddress(const IPv4Bytes& address) {
    return std::to_string(address[0]) + '.' + std::to_string(address[1]) + '.' + std::to_string(address[2]) +
           '.' + std::to_string(address[3]);
}

std::string SocketStack::resolveHost(const std::string& host) {
    if (auto literal = literalAddress(host))
        return *literal;
    return lookedUpAddress(hostLookup()(host));
}

std::optional<std::string> SocketStack::literalAddress(const std::string& host) {
    if (equalsIgnoreCase(host, "LOCALHOST"))
        return "127.0.0.1";
    if (isIP(host))
        return host;
    return std::nullopt;
}

HostLookup SocketStack::hostLookup() {
    std::lock_guard lock(lookupLock_);
    return lookup_ ? lookup_ : HostLookup(&systemHostLookup);
}

std::string SocketStack::lookedUpAddress(const LookupResult& result) {
    if (result.address)
        return bytesToAddress(*result.address);
    recordPlatformError(result.errorCode ? result.errorCode : WinsockError::HostNotFound);
    checkForSocketError(-1);
    return {}; // not reached: the check raises
}

void SocketStack::setHostLookup(HostLookup lookup) {
    std::lock_guard lock(lookupLock_);
    lookup_ = std::move(lookup);
}

LookupResult SocketStack::systemHostLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    errno = 0;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &answer);
    if (rc != 0)
        return {std::nullopt, winsockErrorFromLookup(rc, errno)};
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(answer, &freeaddrinfo);
    for (const addrinfo* entry = answer; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || !entry->ai_addr)
            continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ai_addr, sizeof address);
        IPv4Bytes bytes{};
        std::memcpy(bytes.data(), &address.sin_addr.s_addr, 4);
        return {bytes, 0};
    }
    return {std::nullopt, WinsockError::NoData};
}

bool SocketStack::checkForSocketError(int result, std::initializer_list<int> ignore) {
    if (result != -1)
        return false;
    const int error = platformError();
    lastError_.store(error, std::memory_order_relaxed);
    if (std::find(ignore.begin(), ignore.end(), error) != ignore.end())
        return true;
    throw SocketError(error);
}

void SocketStack::recordPlatformError(int errorCode) {
    tPlatformError = errorCode;
}

int SocketStack::platformError() {
    return tPlatformError;
}

} // namespace tavora
