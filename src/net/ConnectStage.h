#pragma once

#include <functional>

namespace tavora {

// The stages of one connection attempt, in the order they can happen. An
// observer attached to a client hears each stage as it begins; a failure
// belongs to the last stage begun.
enum class ConnectStage {
    ResolveProxy,        // looking up the proxy's host name
    ResolveTarget,       // looking up the target's host name (direct, or for SOCKS 4)
    TcpConnect,          // the TCP connect to the proxy or the target
    SocksGreeting,       // SOCKS 5 method negotiation
    SocksAuthentication, // SOCKS 5 user name and password
    SocksConnectRequest, // the proxy's connect to the target (SOCKS 4, 4A, 5)
};

using StageObserver = std::function<void(ConnectStage)>;

// Short stable names: "resolve-proxy", "resolve-target", "tcp-connect",
// "socks-greeting", "socks-authentication", "socks-connect".
const char* connectStageName(ConnectStage stage);

} // namespace tavora
