#pragma once

#include "platform/net/NetExceptions.h"

// Failures of the TCP client itself (the socket layer's own are in
// platform/net/NetExceptions.h, the proxy exchange's in SocksExceptions.h).

class EAlreadyConnected : public ENetException {
public:
    EAlreadyConnected() : ENetException("Already connected.") {}
};

class EConnectTimeout : public ENetException {
public:
    EConnectTimeout() : ENetException("Connect timed out.") {}
};

// The timed connect failed on the connect thread; the message is that
// thread's error text.
class EConnectException : public ENetException {
public:
    using ENetException::ENetException;
};

class EClosedSocket : public ENetException {
public:
    EClosedSocket() : ENetException("Disconnected.") {}
};
