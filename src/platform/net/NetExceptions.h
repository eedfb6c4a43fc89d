#pragma once

#include "platform/net/SocketErrors.h"

#include <exception>
#include <string>
#include <utility>

namespace tavora {

// Every failure of the network layer is one of these; the message is the text
// the layer reports, exactly.
class NetException : public std::exception {
public:
    explicit NetException(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// A platform socket call failed. Carries the Windows Sockets style number
// (see SocketErrors.h) and says "Socket Error # <number>\r\n<text>".
class SocketError : public NetException {
public:
    explicit SocketError(int errorCode);
    int errorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

class InvalidSocketError : public NetException {
public:
    InvalidSocketError() : NetException("Cannot allocate socket.") {}
};

class SocketHandleError : public NetException {
public:
    using NetException::NetException;
};

class CouldNotBindSocketError : public SocketHandleError {
public:
    CouldNotBindSocketError()
        : SocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

// The socket layer was used while it was not available. POSIX sockets need no
// library loading, so only CallFailed is raised here: a socket operation
// attempted while no network component keeps the layer alive.
class EWS2StubError : public NetException {
public:
    EWS2StubError(int errorCode, std::string message)
        : NetException(std::move(message)), errorCode_(errorCode) {}

    static EWS2StubError loadFailed(const std::string& library, int errorCode) {
        return {errorCode, "Error on loading Winsock2 library (" + library + ")"};
    }
    static EWS2StubError callFailed(const std::string& function) {
        return {WinsockError::NotInitialised, "Error on call Winsock2 library function " + function};
    }

    int errorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

class SocketStackError : public NetException {
public:
    using NetException::NetException;
};

// Kept for callers that catch it; bringing up POSIX sockets cannot fail.
class SocketStackInitializationFailedError : public SocketStackError {
public:
    SocketStackInitializationFailedError() : SocketStackError("Winsock Initialization Error.") {}
};

} // namespace tavora
