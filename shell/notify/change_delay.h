#pragma once
// TVelShChangeDelay: holds back the folder tree's selection change while the user
// moves through the tree with the arrow keys. Each Post replaces the pending node
// and restarts the delay; when the delay passes without a new Post, the change
// callback gets the node on the GUI thread.
#include "shell/notify/sh_thread.h"

#include <cstdint>
#include <functional>

namespace kelvora {

// What the tree posts. Its nodes derive from this so that a node posted as owned
// can be deleted here.
class TShPendingNode {
public:
    virtual ~TShPendingNode() = default;
};

class TVelShChangeDelay final : public TShThread {
public:
    // Called on the GUI thread with the pending node. The callback clears node once
    // it has used it (an owned node is then deleted); a node left in place is
    // delivered again after another delay.
    using ChangeCallback = std::function<void(TVelShChangeDelay* sender, TShPendingNode*& node)>;

    static constexpr int kDefaultDelayMs = 500;

    // Starts at once.
    TVelShChangeDelay(TerminateCallback onTerminate, ChangeCallback onChange);
    ~TVelShChangeDelay() override;

    // Replaces the pending node (deleting the previous one if it was owned) and
    // restarts the delay.
    void Post(TShPendingNode* node, int delay, bool owned);
    // Clears the callback, ends the thread, then deletes a pending owned node.
    void Stop() override;

    int delay() const;
    TShPendingNode* pending() const;

protected:
    void execute() override;

private:
    void deliver(std::uint64_t ticket);
    void releasePending();

    // Guarded by the lock.
    ChangeCallback callback_;
    TShPendingNode* node_ = nullptr;
    bool owned_ = false;
    int delay_ = kDefaultDelayMs;
    std::uint64_t posts_ = 0; // tells a delivery whether a newer Post came in
    bool inFlight_ = false;   // a delivery is queued to the GUI thread
};

} // namespace kelvora
