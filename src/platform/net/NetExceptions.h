#pragma once

#include "platform/net/SocketErrors.h"

#include <exception>
#include <string>
#include <utility>

// Every failure of the network layer is one of these; the message is the text
// the layer reports, exactly.
class ENetException : public std::exception {
public:
    explicit ENetException(std::string message) : Message_(std::move(message)) {}
    const char* what() const noexcept override { return Message_.c_str(); }
    const std::string& Message() const noexcept { return Message_; }

private:
    std::string Message_;
};

// A platform socket call failed. Carries the Windows Sockets style number
// (see SocketErrors.h) and says "Socket Error # <number>\r\n<text>".
class ESocketError : public ENetException {
public:
    explicit ESocketError(int errorCode);
    int ErrorCode() const noexcept { return ErrorCode_; }

private:
    int ErrorCode_;
};

class EInvalidSocket : public ENetException {
public:
    EInvalidSocket() : ENetException("Cannot allocate socket.") {}
};

class ESocketHandleError : public ENetException {
public:
    using ENetException::ENetException;
};

class ECouldNotBindSocket : public ESocketHandleError {
public:
    ECouldNotBindSocket()
        : ESocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

// The socket layer was used while it was not available. POSIX sockets need no
// library loading, so only CallFailed is raised here: a socket operation
// attempted while no network component keeps the layer alive.
class EWS2StubError : public ENetException {
public:
    EWS2StubError(int errorCode, std::string message)
        : ENetException(std::move(message)), ErrorCode_(errorCode) {}

    static EWS2StubError LoadFailed(const std::string& library, int errorCode) {
        return {errorCode, "Error on loading Winsock2 library (" + library + ")"};
    }
    static EWS2StubError CallFailed(const std::string& function) {
        return {WinsockError::NotInitialised, "Error on call Winsock2 library function " + function};
    }

    int ErrorCode() const noexcept { return ErrorCode_; }

private:
    int ErrorCode_;
};

class ESocketStackError : public ENetException {
public:
    using ENetException::ENetException;
};

// Kept for callers that catch it; bringing up POSIX sockets cannot fail.
class ESocketStackInitializationFailed : public ESocketStackError {
public:
    ESocketStackInitializationFailed() : ESocketStackError("Winsock Initialization Error.") {}
};
