#include "net/SocketIOHandler.h"

#include "net/ClientExceptions.h"
#include "net/ConnectThread.h"
#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

#include <chrono>
#include <thread>

namespace tavora {

// The settings exchange with the proxy through this handler, for as long as
// both live: they go together.
SocketIOHandler::SocketIOHandler() {
    socksInfo_.setIOHandler(this);
}

SocketIOHandler::~SocketIOHandler() {
    binding_.reset(); // closes the socket
}

void SocketIOHandler::open() {
    if (binding_)
        binding_->reset();
    else
        binding_ = std::make_unique<SocketHandle>();
}

void SocketIOHandler::close() noexcept {
    if (binding_)
        binding_->closeSocket();
}

bool SocketIOHandler::connected() const noexcept {
    return binding_ && binding_->handleAllocated();
}

void SocketIOHandler::connectClient(const std::string& host, int port, const std::string& boundIP,
                                     int boundPort, int boundPortMin, int boundPortMax, int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    if (!binding_)
        open();

    // A timed connect keeps the caller's wait hooks in use throughout: the
    // lookups and the proxy's replies are awaited in slices as the connect
    // is, and the attempt's time limit covers the lookups and the exchange.
    struct AttemptScope {
        SocketIOHandler& Handler;
        ~AttemptScope() {
            Handler.exchangeDeadline_.reset();
            Handler.waitsInSlices_ = false;
        }
    } scope{*this};
    waitsInSlices_ = timeoutMs != -1 && timeoutMs != 0;
    if (timeoutMs > 0)
        exchangeDeadline_ = start + std::chrono::milliseconds(timeoutMs);

    const SocksVersion version = socksInfo_.version();
    const bool proxied = version == Socks4 || version == Socks4A || version == Socks5;
    const std::string& address = proxied ? socksInfo_.host() : host;
    const int addressPort = proxied ? socksInfo_.port() : port;

    binding_->allocateSocket();
    binding_->IP = boundIP;
    binding_->port = boundPort;
    binding_->clientPortMin = boundPortMin;
    binding_->clientPortMax = boundPortMax;
    binding_->bind();

    enterStage(proxied ? ConnectStage::ResolveProxy : ConnectStage::ResolveTarget);
    binding_->setPeer(resolveHost(address), addressPort);

    enterStage(ConnectStage::TcpConnect);
    if (!waitsInSlices_)
        SocketStack::instance("connect").checkForSocketError(binding_->connect());
    else
        timedConnect(timeoutMs);

    // The proxy exchange gets what is left of the attempt's time limit.
    socksInfo_.negotiateProxy(host, port);
}

void SocketIOHandler::timedConnect(int timeoutMs) {
    constexpr int slice = kConnectSliceMs;
    const bool unlimited = timeoutMs == -2;

    ConnectThread thread(*binding_);
    thread.start();

    int remaining = unlimited ? slice + 1 : timeoutMs;
    while (remaining > slice) {
        sleepSlice(slice);
        remaining -= slice;
        if (unlimited)
            remaining = slice + 1;
        if (thread.finished()) {
            remaining = 0;
            break;
        }
    }
    sleepSlice(remaining > 0 ? remaining : 0);

    if (thread.finished()) {
        if (!thread.errorMessage().empty())
            throw ConnectException(thread.errorMessage());
        return;
    }
    // Time is up. End the pending connect and wait for the thread before the
    // socket is closed: its number must not be released while the connect
    // thread may still poll it.
    thread.terminate();
    thread.waitFor();
    close();
    throw ConnectTimeoutError();
}

void SocketIOHandler::sleepSlice(int milliseconds) {
    if (sleep())
        sleep()(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int SocketIOHandler::send(const void* buffer, int length) {
    if (!connected())
        throw ClosedSocketError();
    if (!waitForSocket(true))
        return -1;
    return binding_->send(buffer, length);
}

int SocketIOHandler::recv(void* buffer, int length) {
    if (!connected())
        throw ClosedSocketError();
    if (!waitForSocket(false))
        return -1;
    return binding_->recv(buffer, length);
}

bool SocketIOHandler::waitForSocket(bool forWriting) {
    if (!waitsInSlices_)
        return binding_->waitReady(forWriting, exchangeDeadline_);
    return waitInSlices(binding_->handle(), forWriting);
}

// A proxy that accepts and then says nothing, or a name service that never
// answers, must not stop the caller's window for a minute: the wait goes in
// slices through the wait hook, which lets the window answer its desktop and
// returns as soon as `fd` is ready.
bool SocketIOHandler::waitInSlices(int fd, bool forWriting) {
    for (;;) {
        if (waitDescriptor(fd, forWriting, 0))
            return true;
        int slice = kConnectSliceMs;
        if (exchangeDeadline_) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*exchangeDeadline_ -
                                                                           std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            slice = left < slice ? static_cast<int>(left) : slice;
        }
        if (waitReady()) {
            if (!waitReady()(fd, forWriting, slice))
                break; // given up: as if the time were up
        } else {
            waitDescriptor(fd, forWriting, slice);
        }
    }
    SocketStack::recordPlatformError(WinsockError::TimedOut);
    return false;
}

std::string SocketIOHandler::resolveHost(const std::string& host) {
    SocketStack& stack = SocketStack::instance("gethostbyname");
    if (!waitsInSlices_)
        return stack.resolveHost(host);
    if (auto literal = SocketStack::literalAddress(host))
        return *literal;
    LookupThread lookup(stack.hostLookup(), host);
    // The finished flag, read after the descriptor, is what orders the result.
    if (!waitInSlices(lookup.readyFd(), false) || !lookup.finished()) {
        // The lookup goes on alone; its answer is dropped.
        SocketStack::recordPlatformError(WinsockError::TryAgain);
        stack.checkForSocketError(-1);
    }
    return stack.lookedUpAddress(lookup.result());
}

} // namespace tavora
