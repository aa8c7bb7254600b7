#include "shell/notify/change_delay.h"

namespace kelvora {

TVelShChangeDelay::TVelShChangeDelay(TerminateCallback onTerminate, ChangeCallback onChange)
    : callback_(std::move(onChange)) {
    setOnTerminate(std::move(onTerminate));
    resume();
}

TVelShChangeDelay::~TVelShChangeDelay() {
    stopThread();
    releasePending();
}

void TVelShChangeDelay::Post(TShPendingNode* node, int delay, bool owned) {
    {
        std::lock_guard guard(mutex());
        if (owned_ && node_ != node)
            delete node_;
        node_ = node;
        delay_ = delay;
        owned_ = owned;
        ++posts_;
    }
    Wake();
}

void TVelShChangeDelay::Stop() {
    {
        std::lock_guard guard(mutex());
        callback_ = nullptr;
    }
    TShThread::Stop();
    // Deleted here, on the owner's thread, rather than by the worker on its way out.
    releasePending();
}

int TVelShChangeDelay::delay() const {
    std::lock_guard guard(mutex());
    return delay_;
}

TShPendingNode* TVelShChangeDelay::pending() const {
    std::lock_guard guard(mutex());
    return node_;
}

void TVelShChangeDelay::releasePending() {
    std::lock_guard guard(mutex());
    if (owned_)
        delete node_;
    node_ = nullptr;
    owned_ = false;
}

void TVelShChangeDelay::execute() {
    while (!terminated()) {
        bool pending;
        int delay;
        std::uint64_t post;
        {
            std::lock_guard guard(mutex());
            pending = node_ != nullptr;
            delay = delay_;
            post = posts_;
        }
        const TShWaitResult result = Wait(pending ? delay : kInfinite);
        if (result == TShWaitResult::wrTerminated)
            return;
        // wrWoken: a new Post, which the next turn waits for afresh.
        if (pending && result == TShWaitResult::wrTimeout)
            synchronize([this, post] { deliver(post); });
    }
}

void TVelShChangeDelay::deliver(std::uint64_t post) {
    ChangeCallback callback;
    TShPendingNode* node;
    {
        std::lock_guard guard(mutex());
        // A Post after the delay ran out waits for its own delay.
        if (post != posts_ || !node_ || !callback_)
            return;
        callback = callback_;
        node = node_;
    }
    TShPendingNode* const delivered = node;
    callback(this, node);
    std::lock_guard guard(mutex());
    if (post != posts_ || node == delivered)
        return; // a Post from the callback, or the node stays pending
    if (owned_)
        delete delivered;
    node_ = node;
    owned_ = false;
}

} // namespace kelvora
