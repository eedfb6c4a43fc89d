#pragma once

#include <vector>

// Ownership and destruction notices for the network objects.
//
// A component may have an owner; the owner deletes the components it still
// owns when it is destroyed, and a component deleted earlier leaves its
// owner's list. A component can ask another one to tell it when that one is
// destroyed (FreeNotification), so that it can drop a reference it holds
// without owning the object. All of this happens on one thread.
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return Owner_; }

    // From now on `observer` is told (through its Notification) when this
    // component is destroyed, and this component forgets `observer` when the
    // observer is destroyed first.
    void FreeNotification(TComponent* observer);
    void RemoveFreeNotification(TComponent* observer);

protected:
    // Called on an observer while `component` is being destroyed. Only the
    // address may be used: the object is already partly torn down.
    virtual void Notification(TComponent* component);

private:
    void InsertOwned(TComponent* child);
    void RemoveOwned(TComponent* child);

    TComponent* Owner_ = nullptr;
    std::vector<TComponent*> Owned_;
    std::vector<TComponent*> Observers_;
};

// Base of every network component. While at least one exists, the process
// holds the single platform socket layer (TSocketStack): the first component
// created brings it up and the last one destroyed takes it down, both under
// one process-wide lock.
class TNetComponent : public TComponent {
public:
    explicit TNetComponent(TComponent* owner = nullptr);
    ~TNetComponent() override;

    // How many network components are alive now.
    static int LiveCount();
};
