#include "net/ConnectStage.h"

const char* ConnectStageName(TConnectStage stage) {
    switch (stage) {
    case TConnectStage::ResolveProxy:
        return "resolve-proxy";
    case TConnectStage::ResolveTarget:
        return "resolve-target";
    case TConnectStage::TcpConnect:
        return "tcp-connect";
    case TConnectStage::SocksGreeting:
        return "socks-greeting";
    case TConnectStage::SocksAuthentication:
        return "socks-authentication";
    case TConnectStage::SocksConnectRequest:
        return "socks-connect";
    }
    return "unknown";
}
