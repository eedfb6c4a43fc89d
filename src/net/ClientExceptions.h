#pragma once

#include "platform/net/NetExceptions.h"

namespace tavora {

// Failures of the TCP client itself (the socket layer's own are in
// platform/net/NetExceptions.h, the proxy exchange's in SocksExceptions.h).

class AlreadyConnectedError : public NetException {
public:
    AlreadyConnectedError() : NetException("Already connected.") {}
};

class ConnectTimeoutError : public NetException {
public:
    ConnectTimeoutError() : NetException("Connect timed out.") {}
};

// The timed connect failed on the connect thread; the message is that
// thread's error text.
class ConnectException : public NetException {
public:
    using NetException::NetException;
};

class ClosedSocketError : public NetException {
public:
    ClosedSocketError() : NetException("Disconnected.") {}
};

} // namespace tavora
