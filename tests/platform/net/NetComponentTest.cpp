#include "platform/net/NetComponent.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketStack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tavora;

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
            NetComponent second;
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
