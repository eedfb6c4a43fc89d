#include "platform/net/Component.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketStack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace tavora;

namespace {

// Records the destruction notices it receives and clears a reference the way
// a holder of a foreign object does.
class Watcher : public Component {
public:
    using Component::Component;
    Component* held = nullptr;
    std::vector<Component*> told;

protected:
    void notification(Component* component) override {
        told.push_back(component);
        if (component == held)
            held = nullptr;
    }
};

class Counted : public Component {
public:
    Counted(Component* owner, int& destroyed) : Component(owner), destroyed_(destroyed) {}
    ~Counted() override { ++destroyed_; }

private:
    int& destroyed_;
};

} // namespace

TEST(ComponentTest, OwnerDeletesWhatItStillOwns) {
    int destroyed = 0;
    {
        Component owner;
        new Counted(&owner, destroyed);
        auto* early = new Counted(&owner, destroyed);
        new Counted(early, destroyed); // grandchild goes with its parent
        delete early;                   // leaves the owner's list
        EXPECT_EQ(destroyed, 2);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(ComponentTest, FreeNotificationTellsEitherSideAndCanBeWithdrawn) {
    Watcher watcher;
    {
        Component held;
        watcher.held = &held;
        held.freeNotification(&watcher);
    }
    EXPECT_EQ(watcher.held, nullptr);
    EXPECT_EQ(watcher.told.size(), 1u);

    auto observed = std::make_unique<Watcher>();
    {
        Watcher shortLived;
        observed->freeNotification(&shortLived);
    }
    // The observer died first: the observed one heard of it and keeps no
    // dangling entry (destroying it now must not touch the dead observer).
    EXPECT_EQ(observed->told.size(), 1u);
    observed.reset();

    Watcher quiet;
    {
        Component held;
        held.freeNotification(&quiet);
        held.removeFreeNotification(&quiet);
    }
    EXPECT_TRUE(quiet.told.empty());
}

TEST(SocketStackLifetimeTest, LayerLivesExactlyWhileComponentsDo) {
    ASSERT_EQ(NetComponent::liveCount(), 0);
    EXPECT_FALSE(SocketStack::exists());
    try {
        SocketStack::instance("connect");
        FAIL() << "no exception";
    } catch (const EWS2StubError& e) {
        EXPECT_STREQ(e.what(), "Error on call Winsock2 library function connect");
        EXPECT_EQ(e.errorCode(), 10093);
    }
    {
        NetComponent first;
        EXPECT_TRUE(SocketStack::exists());
        SocketStack* stack = &SocketStack::instance("test");
        {
            NetComponent second(&first);
            EXPECT_EQ(NetComponent::liveCount(), 2);
            EXPECT_EQ(&SocketStack::instance("test"), stack);
        }
        EXPECT_TRUE(SocketStack::exists());
    }
    EXPECT_FALSE(SocketStack::exists());
    EXPECT_EQ(NetComponent::liveCount(), 0);
}

TEST(SocketStackLifetimeTest, ConcurrentComponentsShareOneLayer) {
    NetComponent anchor;
    SocketStack* stack = &SocketStack::instance("test");
    std::atomic<bool> sameLayer{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                NetComponent component;
                if (&SocketStack::instance("test") != stack)
                    sameLayer = false;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_TRUE(sameLayer);
    EXPECT_EQ(NetComponent::liveCount(), 1);
}

TEST(SocketStackLifetimeTest, LayerComesAndGoesUnderConcurrentUse) {
    // No anchor: the layer is created and destroyed over and over while other
    // threads hold components of their own; none may ever see it missing.
    std::atomic<bool> alwaysThere{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                NetComponent component;
                if (!SocketStack::exists())
                    alwaysThere = false;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_TRUE(alwaysThere);
    EXPECT_EQ(NetComponent::liveCount(), 0);
    EXPECT_FALSE(SocketStack::exists());
}
