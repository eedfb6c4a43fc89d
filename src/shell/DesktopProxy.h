#pragma once

#include "net/SocksProtocol.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavora {

// A SOCKS proxy that the desktop's proxy configuration names for a destination.
struct DesktopProxy {
    SocksVersion version = Socks5;
    std::string host;
    int port = 0;

    bool operator==(const DesktopProxy&) const = default;
};

// One proxy address of the desktop's answer, as "scheme://host:port", as a
// SOCKS proxy. "socks5" is SOCKS 5, "socks4a" SOCKS 4A, "socks4" SOCKS 4, and
// the bare "socks" SOCKS 5: it is what the desktops write for their single
// SOCKS setting, and they speak version 5 to it first. Direct connections,
// HTTP proxies and anything unreadable give no proxy: the wizard only speaks SOCKS.
std::optional<DesktopProxy> desktopProxyFromUrl(std::string_view url);

// Asks the desktop which proxy reaches a destination. Lookup may block for a
// long time (it can download a proxy auto-configuration file), so callers run
// it off the GUI thread; one object may be asked from several threads.
class DesktopProxyLookup {
public:
    virtual ~DesktopProxyLookup() = default;
    // The first SOCKS proxy the desktop names for host:port, if any.
    virtual std::optional<DesktopProxy> lookup(const std::string& host, int port) = 0;
};

// The desktop's configuration as libproxy reads it: GNOME and KDE settings,
// the http_proxy environment, a PAC file (given by the settings, or found by
// WPAD where the settings ask for that). libproxy 0.4 does not read the
// socks_proxy and all_proxy variables; when it names no SOCKS proxy, those
// are read here, honouring no_proxy.
class LibproxyLookup final : public DesktopProxyLookup {
public:
    std::optional<DesktopProxy> lookup(const std::string& host, int port) override;
};

// Whether a no_proxy list ("*", or host names and domains separated by commas
// or blanks, a leading dot optional) exempts `host`.
bool noProxyExempts(std::string_view noProxy, std::string_view host);

} // namespace tavora
