#pragma once

#include <memory>
#include <string>

class TfrmProxy;
class TDesktopProxyLookup;
struct TDesktopProxy;
struct TSystemTestSettings;

// When no proxy is stored (UseProxy unset and no host), asks `lookup` on a
// thread of its own which SOCKS proxy the desktop uses for host:port, so that
// the dialog opens at once. When the answer names one while the dialog still
// exists, the dialog shows it with a button that fills the fields; nothing
// reaches the settings before OK. An answer for a destroyed dialog is dropped.
void OfferDesktopProxy(TfrmProxy& dialog, const TSystemTestSettings& settings,
                       std::shared_ptr<TDesktopProxyLookup> lookup, const std::string& host, int port);

// The dialog's suggestion line for `proxy`, and what its button does.
void ShowDesktopProxy(TfrmProxy& dialog, const TDesktopProxy& proxy);
void UseDesktopProxy(TfrmProxy& dialog, const TDesktopProxy& proxy);
