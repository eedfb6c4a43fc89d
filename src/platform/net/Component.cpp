#include "platform/net/Component.h"

#include "platform/net/SocketStack.h"

#include <algorithm>
#include <mutex>

namespace {

void Erase(std::vector<TComponent*>& list, TComponent* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

void InsertOnce(std::vector<TComponent*>& list, TComponent* item) {
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

} // namespace

TComponent::TComponent(TComponent* owner) : Owner_(owner) {
    if (Owner_)
        Owner_->InsertOwned(this);
}

TComponent::~TComponent() {
    // Observers first, so that nobody keeps a reference to this object while
    // the owned components below are being deleted.
    while (!Observers_.empty()) {
        TComponent* observer = Observers_.back();
        Observers_.pop_back();
        Erase(observer->Observers_, this);
        observer->Notification(this);
    }
    while (!Owned_.empty()) {
        // The child's destructor removes it from Owned_.
        delete Owned_.back();
    }
    if (Owner_)
        Owner_->RemoveOwned(this);
}

void TComponent::FreeNotification(TComponent* observer) {
    if (!observer || observer == this)
        return;
    InsertOnce(Observers_, observer);
    InsertOnce(observer->Observers_, this);
}

void TComponent::RemoveFreeNotification(TComponent* observer) {
    if (!observer)
        return;
    Erase(Observers_, observer);
    Erase(observer->Observers_, this);
}

void TComponent::Notification(TComponent*) {}

void TComponent::InsertOwned(TComponent* child) {
    Owned_.push_back(child);
}

void TComponent::RemoveOwned(TComponent* child) {
    Erase(Owned_, child);
}

// ---------------------------------------------------------------------------

namespace {

std::mutex gInstanceLock;
int gInstanceCount = 0;

} // namespace

TNetComponent::TNetComponent(TComponent* owner) : TComponent(owner) {
    std::lock_guard lock(gInstanceLock);
    if (gInstanceCount == 0)
        TSocketStack::Create();
    ++gInstanceCount;
}

TNetComponent::~TNetComponent() {
    std::lock_guard lock(gInstanceLock);
    if (--gInstanceCount == 0)
        TSocketStack::Destroy();
}

int TNetComponent::LiveCount() {
    std::lock_guard lock(gInstanceLock);
    return gInstanceCount;
}
