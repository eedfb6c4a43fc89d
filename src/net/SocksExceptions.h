#pragma once

#include "platform/net/NetExceptions.h"

// Failures of the proxy exchange. Every class has one fixed message.
class ESocksError : public ENetException {
public:
    using ENetException::ENetException;
};

#define TAVORA_SOCKS_ERROR(Name, Text)                                                                       \
    class Name : public ESocksError {                                                                        \
    public:                                                                                                  \
        Name() : ESocksError(Text) {}                                                                        \
    };

// SOCKS 4 / 4A status codes 91, 92, 93 and anything unknown.
TAVORA_SOCKS_ERROR(ESocksRequestFailed, "Request rejected or failed.")
TAVORA_SOCKS_ERROR(ESocksRequestServerFailed, "Request rejected because SOCKS server cannot connect.")
TAVORA_SOCKS_ERROR(ESocksRequestIdentFailed,
                   "Request rejected because the client program and identd report different user-ids.")
TAVORA_SOCKS_ERROR(ESocksUnknownError, "Unknown socks error.")

// SOCKS 5 reply codes 1 to 8.
TAVORA_SOCKS_ERROR(ESocksServerGeneralError, "General SOCKS server failure.")
TAVORA_SOCKS_ERROR(ESocksServerPermissionError, "Connection not allowed by ruleset.")
TAVORA_SOCKS_ERROR(ESocksServerNetUnreachableError, "Network unreachable.")
TAVORA_SOCKS_ERROR(ESocksServerHostUnreachableError, "Host unreachable.")
TAVORA_SOCKS_ERROR(ESocksServerConnectionRefusedError, "Connection refused.")
TAVORA_SOCKS_ERROR(ESocksServerTTLExpiredError, "TTL expired.")
TAVORA_SOCKS_ERROR(ESocksServerCommandError, "Command not supported.")
TAVORA_SOCKS_ERROR(ESocksServerAddressError, "Address type not supported.")

// A reply that did not arrive in full (closed, failed or the attempt's time
// ran out); used for SOCKS 4 / 4A replies too.
TAVORA_SOCKS_ERROR(ESocksServerRespondError, "Socks server did not respond.")
TAVORA_SOCKS_ERROR(ESocksAuthMethodError, "Invalid socks authentication method.")
TAVORA_SOCKS_ERROR(ESocksAuthError, "Authentication error to socks server.")

#undef TAVORA_SOCKS_ERROR

// A text that does not fit its one-byte length field. Raised before anything
// is sent: cutting a user name, password or host name would ask the proxy for
// something else than what was configured.
class ESocksTextTooLong : public ESocksError {
public:
    using ESocksError::ESocksError;
};
