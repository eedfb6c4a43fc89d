#include "shell/DesktopProxy.h"

#include <QLoggingCategory>

#include <proxy.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <memory>

namespace tavora {

Q_LOGGING_CATEGORY(lcDesktopProxy, "tavora.shell.proxy")

namespace {
constexpr int DefaultSocksPort = 1080;

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return result;
}

const char* environment(const char* lower, const char* upper) {
    const char* value = std::getenv(lower);
    return value && *value ? value : std::getenv(upper);
}

// libproxy, opened at the first question rather than linked: loading it (and
// what it pulls in) is no part of the program's start-up, and most runs never
// ask. The library stays loaded, and its one factory lives for the whole run,
// never freed: freeing it unloads the PAC plugin while threads of its
// JavaScript engine still run, which crashes the program. The factory
// serialises its callers itself, reads the settings and the environment afresh
// for each question, and downloads a PAC file again when its address changes.
struct Libproxy {
    decltype(&px_proxy_factory_get_proxies) getProxies = nullptr;
    decltype(&px_proxy_factory_free_proxies) freeProxies = nullptr;
    pxProxyFactory* factory = nullptr;
};

// The loaded library with its factory, or null (said once in the log) when it
// cannot be had.
const Libproxy* libproxy() {
    static const Libproxy* const loaded = []() -> const Libproxy* {
        constexpr const char* LibraryName = "libproxy.so.1";
        void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            qCWarning(lcDesktopProxy) << LibraryName << "cannot be loaded:" << (why ? why : "unknown error");
            return nullptr;
        }
        const auto factoryNew =
            reinterpret_cast<decltype(&px_proxy_factory_new)>(dlsym(library, "px_proxy_factory_new"));
        auto proxy = std::make_unique<Libproxy>();
        proxy->getProxies = reinterpret_cast<decltype(&px_proxy_factory_get_proxies)>(
            dlsym(library, "px_proxy_factory_get_proxies"));
        proxy->freeProxies = reinterpret_cast<decltype(&px_proxy_factory_free_proxies)>(
            dlsym(library, "px_proxy_factory_free_proxies"));
        if (!factoryNew || !proxy->getProxies || !proxy->freeProxies) {
            qCWarning(lcDesktopProxy) << LibraryName << "lacks the functions of a proxy factory";
            return nullptr;
        }
        proxy->factory = factoryNew();
        return proxy->factory ? proxy.release() : nullptr;
    }();
    return loaded;
}

struct ProxiesDeleter {
    const Libproxy* library;
    void operator()(char** proxies) const { library->freeProxies(proxies); }
};
} // namespace

std::optional<DesktopProxy> desktopProxyFromUrl(std::string_view url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    const std::string scheme = lowered(url.substr(0, schemeEnd));
    DesktopProxy proxy;
    if (scheme == "socks5" || scheme == "socks5h" || scheme == "socks")
        proxy.version = Socks5;
    else if (scheme == "socks4a")
        proxy.version = Socks4A;
    else if (scheme == "socks4")
        proxy.version = Socks4;
    else
        return std::nullopt;

    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find('/'));
    // Credentials in the address are not offered: the participant types them.
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority = authority.substr(at + 1);
    std::string_view host;
    std::string_view rest;
    if (authority.starts_with('[')) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = authority.substr(1, close - 1);
        rest = authority.substr(close + 1);
    } else {
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    if (host.empty())
        return std::nullopt;
    proxy.host = std::string(host);
    proxy.port = DefaultSocksPort;
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() == 1)
            return std::nullopt;
        const std::string_view digits = rest.substr(1);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), proxy.port);
        if (error != std::errc() || end != digits.data() + digits.size() || proxy.port < 1 ||
            proxy.port > 65535)
            return std::nullopt;
    }
    return proxy;
}

bool noProxyExempts(std::string_view noProxy, std::string_view host) {
    const std::string name = lowered(host);
    size_t pos = 0;
    while (pos < noProxy.size()) {
        size_t end = noProxy.find_first_of(", \t", pos);
        if (end == std::string_view::npos)
            end = noProxy.size();
        std::string entry = lowered(noProxy.substr(pos, end - pos));
        pos = end + 1;
        if (entry == "*")
            return true;
        if (entry.starts_with('.'))
            entry.erase(0, 1);
        if (entry.empty())
            continue;
        if (name == entry || (name.size() > entry.size() && name.ends_with(entry) &&
                              name[name.size() - entry.size() - 1] == '.'))
            return true;
    }
    return false;
}

std::optional<DesktopProxy> LibproxyLookup::lookup(const std::string& host, int port) {
    // The test is a plain TCP connection, not a web request: asked as tcp://,
    // no scheme-specific (HTTP, HTTPS, FTP) proxy setting of the desktop applies.
    const std::string destination = "tcp://" + host + ":" + std::to_string(port);
    if (const Libproxy* library = libproxy()) {
        std::unique_ptr<char*, ProxiesDeleter> proxies(
            library->getProxies(library->factory, destination.c_str()), ProxiesDeleter{library});
        for (char** p = proxies.get(); p && *p; ++p) {
            qCDebug(lcDesktopProxy) << "the desktop's proxy for" << destination.c_str() << "is" << *p;
            // The answers are in the order a client tries them: the first SOCKS one is offered.
            if (auto proxy = desktopProxyFromUrl(*p))
                return proxy;
        }
    } else {
        qCWarning(lcDesktopProxy) << "the desktop's proxy configuration cannot be read";
    }

    const char* noProxy = environment("no_proxy", "NO_PROXY");
    if (noProxy && noProxyExempts(noProxy, host))
        return std::nullopt;
    for (const auto& [lower, upper] :
         std::array{std::pair{"socks_proxy", "SOCKS_PROXY"}, std::pair{"all_proxy", "ALL_PROXY"}}) {
        if (const char* value = environment(lower, upper); value && *value)
            if (auto proxy = desktopProxyFromUrl(value))
                return proxy;
    }
    return std::nullopt;
}

} // namespace tavora
