#pragma once

#include "platform/net/NetExceptions.h"

namespace tavora {

// Failures of the proxy exchange. Every class has one fixed message.
class SocksError : public NetException {
public:
    using NetException::NetException;
};

#define TAVORA_SOCKS_ERROR(Name, text)                                                                       \
    class Name : public SocksError {                                                                        \
    public:                                                                                                  \
        Name() : SocksError(text) {}                                                                        \
    };

// SOCKS 4 / 4A status codes 91, 92, 93 and anything unknown.
TAVORA_SOCKS_ERROR(SocksRequestFailedError, "Request rejected or failed.")
TAVORA_SOCKS_ERROR(SocksRequestServerFailedError, "Request rejected because SOCKS server cannot connect.")
TAVORA_SOCKS_ERROR(SocksRequestIdentFailedError,
                   "Request rejected because the client program and identd report different user-ids.")
TAVORA_SOCKS_ERROR(SocksUnknownError, "Unknown socks error.")

// SOCKS 5 reply codes 1 to 8.
TAVORA_SOCKS_ERROR(SocksServerGeneralError, "General SOCKS server failure.")
TAVORA_SOCKS_ERROR(SocksServerPermissionError, "Connection not allowed by ruleset.")
TAVORA_SOCKS_ERROR(SocksServerNetUnreachableError, "Network unreachable.")
TAVORA_SOCKS_ERROR(SocksServerHostUnreachableError, "Host unreachable.")
TAVORA_SOCKS_ERROR(SocksServerConnectionRefusedError, "Connection refused.")
TAVORA_SOCKS_ERROR(SocksServerTTLExpiredError, "TTL expired.")
TAVORA_SOCKS_ERROR(SocksServerCommandError, "Command not supported.")
TAVORA_SOCKS_ERROR(SocksServerAddressError, "Address type not supported.")

// A reply that did not arrive in full (closed, failed or the attempt's time
// ran out); used for SOCKS 4 / 4A replies too.
TAVORA_SOCKS_ERROR(SocksServerRespondError, "Socks server did not respond.")
TAVORA_SOCKS_ERROR(SocksAuthMethodError, "Invalid socks authentication method.")
TAVORA_SOCKS_ERROR(SocksAuthError, "Authentication error to socks server.")

#undef TAVORA_SOCKS_ERROR

// A text that does not fit its one-byte length field. Raised before anything
// is sent: cutting a user name, password or host name would ask the proxy for
// something else than what was configured.
class SocksTextTooLongError : public SocksError {
public:
    using SocksError::SocksError;
};

} // namespace tavora
