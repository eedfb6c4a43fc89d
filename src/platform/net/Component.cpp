#include "platform/net/Component.h"

#include "platform/net/SocketStack.h"

#include <algorithm>
#include <mutex>

namespace tavora {

namespace {

void erase(std::vector<Component*>& list, Component* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

void insertOnce(std::vector<Component*>& list, Component* item) {
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

} // namespace

Component::Component(Component* owner) : owner_(owner) {
    if (owner_)
        owner_->insertOwned(this);
}

Component::~Component() {
    // Observers first, so that nobody keeps a reference to this object while
    // the owned components below are being deleted.
    while (!observers_.empty()) {
        Component* observer = observers_.back();
        observers_.pop_back();
        erase(observer->observers_, this);
        observer->notification(this);
    }
    while (!owned_.empty()) {
        // The child's destructor removes it from owned_.
        delete owned_.back();
    }
    if (owner_)
        owner_->removeOwned(this);
}

void Component::freeNotification(Component* observer) {
    if (!observer || observer == this)
        return;
    insertOnce(observers_, observer);
    insertOnce(observer->observers_, this);
}

void Component::removeFreeNotification(Component* observer) {
    if (!observer)
        return;
    erase(observers_, observer);
    erase(observer->observers_, this);
}

void Component::notification(Component*) {}

void Component::insertOwned(Component* child) {
    owned_.push_back(child);
}

void Component::removeOwned(Component* child) {
    erase(owned_, child);
}

// ---------------------------------------------------------------------------

namespace {

std::mutex gInstanceLock;
int gInstanceCount = 0;

} // namespace

NetComponent::NetComponent(Component* owner) : Component(owner) {
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
