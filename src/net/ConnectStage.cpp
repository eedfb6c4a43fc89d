#include "net/ConnectStage.h"

namespace tavora {

const char* connectStageName(ConnectStage stage) {
    switch (stage) {
    case ConnectStage::ResolveProxy:
        return "resolve-proxy";
    case ConnectStage::ResolveTarget:
        return "resolve-target";
    case ConnectStage::TcpConnect:
        return "tcp-connect";
    case ConnectStage::SocksGreeting:
        return "socks-greeting";
    case ConnectStage::SocksAuthentication:
        return "socks-authentication";
    case ConnectStage::SocksConnectRequest:
        return "socks-connect";
    }
    return "unknown";
}

} // namespace tavora
