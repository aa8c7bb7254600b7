// TVelShChangeDelay: the tree's selection change held back until the keys rest.
#include "shell/notify/change_delay.h"
#include "tests/shell/notify/tst_notify_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace kelvora {
namespace {

using namespace kelvora::test;

struct Node : TShPendingNode {
    explicit Node(int nodeId, std::set<int>* freedIds = nullptr) : id(nodeId), freed(freedIds) {}
    ~Node() override {
        if (freed)
            freed->insert(id);
    }
    int id;
    std::set<int>* freed;
};

struct Delivery {
    int id;
    bool onGui;
    Clock::time_point at;
};

class ChangeDelayTest : public ::testing::Test {
protected:
    ~ChangeDelayTest() override {
        if (delay)
            delay->Stop();
    }

    void create(bool clear = true) {
        delay = std::make_unique<TVelShChangeDelay>(
            nullptr, [this, clear](TVelShChangeDelay* sender, TShPendingNode*& node) {
                EXPECT_EQ(sender, delay.get());
                deliveries.push_back({static_cast<Node*>(node)->id, onGuiThread(), Clock::now()});
                if (clear)
                    node = nullptr;
            });
    }

    std::vector<int> ids() const {
        std::vector<int> result;
        for (const Delivery& d : deliveries)
            result.push_back(d.id);
        return result;
    }

    Watchdog watchdog;
    std::unique_ptr<TVelShChangeDelay> delay;
    std::vector<Delivery> deliveries;
};

TEST_F(ChangeDelayTest, PostWithinTheDelayReplacesThePendingNode) {
    create();
    EXPECT_EQ(delay->delay(), TVelShChangeDelay::kDefaultDelayMs);
    Node first(1), second(2), third(3);
    delay->Post(&first, 500, false);
    delay->Post(&second, 500, false);
    const Clock::time_point posted = Clock::now();
    ASSERT_TRUE(waitUntil([&] { return !deliveries.empty(); }));
    EXPECT_EQ(deliveries[0].id, 2);
    EXPECT_TRUE(deliveries[0].onGui);
    EXPECT_GE(elapsedMs(posted, deliveries[0].at).count(), 500);
    EXPECT_LE(elapsedMs(posted, deliveries[0].at).count(), 1500);
    EXPECT_EQ(delay->pending(), nullptr);

    // A cleared node is not delivered again: the next delivery is the next Post.
    delay->Post(&third, 50, false);
    ASSERT_TRUE(waitUntil([&] { return deliveries.size() >= 2; }));
    EXPECT_EQ(ids(), (std::vector<int>{2, 3}));
}

TEST_F(ChangeDelayTest, OwnedNodesAreFreedWhenReplacedUsedOrLeftAtStop) {
    create();
    std::set<int> freed;
    delay->Post(new Node(1, &freed), 500, true);
    delay->Post(new Node(2, &freed), 500, true);
    EXPECT_EQ(freed, (std::set<int>{1}));

    ASSERT_TRUE(waitUntil([&] { return !deliveries.empty(); }));
    EXPECT_EQ(ids(), (std::vector<int>{2}));
    EXPECT_EQ(freed, (std::set<int>{1, 2}));

    Node kept(4);
    delay->Post(new Node(3, &freed), 60000, true);
    delay->Post(&kept, 60000, false); // replacing an owned node by one that is not
    EXPECT_EQ(freed, (std::set<int>{1, 2, 3}));
    delay->Post(new Node(5, &freed), 60000, true);
    delay->Stop();
    EXPECT_TRUE(delay->finished());
    EXPECT_EQ(freed, (std::set<int>{1, 2, 3, 5}));
}

TEST_F(ChangeDelayTest, NodeLeftInPlaceIsDeliveredAgain) {
    create(false);
    Node node(7);
    delay->Post(&node, 20, false);
    ASSERT_TRUE(waitUntil([&] { return deliveries.size() >= 2; }));
    EXPECT_EQ(deliveries[0].id, 7);
    EXPECT_EQ(deliveries[1].id, 7);
    EXPECT_EQ(delay->pending(), &node);
    delay->Stop();
}

} // namespace
} // namespace kelvora
