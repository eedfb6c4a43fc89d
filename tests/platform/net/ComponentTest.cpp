#include "platform/net/Component.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketStack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Records the destruction notices it receives and clears a reference the way
// a holder of a foreign object does.
class TWatcher : public TComponent {
public:
    using TComponent::TComponent;
    TComponent* Held = nullptr;
    std::vector<TComponent*> Told;

protected:
    void Notification(TComponent* component) override {
        Told.push_back(component);
        if (component == Held)
            Held = nullptr;
    }
};

class TCounted : public TComponent {
public:
    TCounted(TComponent* owner, int& destroyed) : TComponent(owner), Destroyed_(destroyed) {}
    ~TCounted() override { ++Destroyed_; }

private:
    int& Destroyed_;
};

} // namespace

TEST(ComponentTest, OwnerDeletesWhatItStillOwns) {
    int destroyed = 0;
    {
        TComponent owner;
        new TCounted(&owner, destroyed);
        auto* early = new TCounted(&owner, destroyed);
        new TCounted(early, destroyed); // grandchild goes with its parent
        delete early;                   // leaves the owner's list
        EXPECT_EQ(destroyed, 2);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(ComponentTest, FreeNotificationTellsEitherSideAndCanBeWithdrawn) {
    TWatcher watcher;
    {
        TComponent held;
        watcher.Held = &held;
        held.FreeNotification(&watcher);
    }
    EXPECT_EQ(watcher.Held, nullptr);
    EXPECT_EQ(watcher.Told.size(), 1u);

    auto observed = std::make_unique<TWatcher>();
    {
        TWatcher shortLived;
        observed->FreeNotification(&shortLived);
    }
    // The observer died first: the observed one heard of it and keeps no
    // dangling entry (destroying it now must not touch the dead observer).
    EXPECT_EQ(observed->Told.size(), 1u);
    observed.reset();

    TWatcher quiet;
    {
        TComponent held;
        held.FreeNotification(&quiet);
        held.RemoveFreeNotification(&quiet);
    }
    EXPECT_TRUE(quiet.Told.empty());
}

TEST(SocketStackLifetimeTest, LayerLivesExactlyWhileComponentsDo) {
    ASSERT_EQ(TNetComponent::LiveCount(), 0);
    EXPECT_FALSE(TSocketStack::Exists());
    try {
        TSocketStack::Instance("connect");
        FAIL() << "no exception";
    } catch (const EWS2StubError& e) {
        EXPECT_STREQ(e.what(), "Error on call Winsock2 library function connect");
        EXPECT_EQ(e.ErrorCode(), 10093);
    }
    {
        TNetComponent first;
        EXPECT_TRUE(TSocketStack::Exists());
        TSocketStack* stack = &TSocketStack::Instance("test");
        {
            TNetComponent second(&first);
            EXPECT_EQ(TNetComponent::LiveCount(), 2);
            EXPECT_EQ(&TSocketStack::Instance("test"), stack);
        }
        EXPECT_TRUE(TSocketStack::Exists());
    }
    EXPECT_FALSE(TSocketStack::Exists());
    EXPECT_EQ(TNetComponent::LiveCount(), 0);
}

TEST(SocketStackLifetimeTest, ConcurrentComponentsShareOneLayer) {
    TNetComponent anchor;
    TSocketStack* stack = &TSocketStack::Instance("test");
    std::atomic<bool> sameLayer{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                TNetComponent component;
                if (&TSocketStack::Instance("test") != stack)
                    sameLayer = false;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_TRUE(sameLayer);
    EXPECT_EQ(TNetComponent::LiveCount(), 1);
}

TEST(SocketStackLifetimeTest, LayerComesAndGoesUnderConcurrentUse) {
    // No anchor: the layer is created and destroyed over and over while other
    // threads hold components of their own; none may ever see it missing.
    std::atomic<bool> alwaysThere{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                TNetComponent component;
                if (!TSocketStack::Exists())
                    alwaysThere = false;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_TRUE(alwaysThere);
    EXPECT_EQ(TNetComponent::LiveCount(), 0);
    EXPECT_FALSE(TSocketStack::Exists());
}
