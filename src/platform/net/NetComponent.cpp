#include "platform/net/NetComponent.h"

#include "platform/net/SocketStack.h"

#include <mutex>

namespace tavora {

namespace {

std::mutex gInstanceLock;
int gInstanceCount = 0;

} // namespace

NetComponent::NetComponent() {
    std::lock_guard lock(gInstanceLock);
    if (gInstanceCount == 0)
        SocketStack::create();
    ++gInstanceCount;
}

NetComponent::~NetComponent() {
    std::lock_guard lock(gInstanceLock);
    if (--gInstanceCount == 0)
        SocketStack::destroy();
}

int NetComponent::liveCount() {
    std::lock_guard lock(gInstanceLock);
    return gInstanceCount;
}

} // namespace tavora
