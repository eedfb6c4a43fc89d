#pragma once

#include <vector>

namespace tavora {

// Ownership and destruction notices for the network objects.
//
// A component may have an owner; the owner deletes the components it still
// owns when it is destroyed, and a component deleted earlier leaves its
// owner's list. A component can ask another one to tell it when that one is
// destroyed (FreeNotification), so that it can drop a reference it holds
// without owning the object. All of this happens on one thread.
class Component {
public:
    explicit Component(Component* owner = nullptr);
    virtual ~Component();

    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    Component* owner() const { return owner_; }

    // From now on `observer` is told (through its Notification) when this
    // component is destroyed, and this component forgets `observer` when the
    // observer is destroyed first.
    void freeNotification(Component* observer);
    void removeFreeNotification(Component* observer);

protected:
    // Called on an observer while `component` is being destroyed. Only the
    // address may be used: the object is already partly torn down.
    virtual void notification(Component* component);

private:
    void insertOwned(Component* child);
    void removeOwned(Component* child);

    Component* owner_ = nullptr;
    std::vector<Component*> owned_;
    std::vector<Component*> observers_;
};

// Base of every network component. While at least one exists, the process
// holds the single platform socket layer (SocketStack): the first component
// created brings it up and the last one destroyed takes it down, both under
// one process-wide lock.
class NetComponent : public Component {
public:
    explicit NetComponent(Component* owner = nullptr);
    ~NetComponent() override;

    // How many network components are alive now.
    static int liveCount();
};

} // namespace tavora
