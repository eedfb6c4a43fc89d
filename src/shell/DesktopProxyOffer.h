#pragma once

#include <memory>
#include <string>

namespace tavora {

class ProxyDialog;
class DesktopProxyLookup;
struct DesktopProxy;
struct SystemTestSettings;

// When no proxy is stored (UseProxy unset and no host), asks `lookup` on a
// thread of its own which SOCKS proxy the desktop uses for host:port, so that
// the dialog opens at once. When the answer names one while the dialog still
// exists, the dialog shows it with a button that fills the fields; nothing
// reaches the settings before OK. An answer for a destroyed dialog is dropped.
void offerDesktopProxy(ProxyDialog& dialog, const SystemTestSettings& settings,
                       std::shared_ptr<DesktopProxyLookup> lookup, const std::string& host, int port);

// The dialog's suggestion line for `proxy`, and what its button does.
void showDesktopProxy(ProxyDialog& dialog, const DesktopProxy& proxy);
void useDesktopProxy(ProxyDialog& dialog, const DesktopProxy& proxy);

} // namespace tavora
