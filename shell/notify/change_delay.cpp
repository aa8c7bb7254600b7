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
        std::uint64_t ticket;
        {
            std::lock_guard guard(mutex());
            pending = node_ != nullptr && !inFlight_;
            delay = delay_;
            ticket = posts_;
        }
        const TShWaitResult result = Wait(pending ? delay : kInfinite);
        if (result == TShWaitResult::wrTerminated)
            return;
        // wrWoken: a new Post, which the next turn waits for afresh.
        if (pending && result == TShWaitResult::wrTimeout) {
            {
                std::lock_guard guard(mutex());
                if (ticket != posts_)
                    continue; // a Post came in just as the delay ran out
                inFlight_ = true;
            }
            if (!post([this, ticket] { deliver(ticket); }))
                return;
        }
    }
}

// On the GUI thread. Whatever happens, the worker is woken once the delivery is
// over, so that a node still pending gets its next delay.
void TVelShChangeDelay::deliver(std::uint64_t ticket) {
    struct Over {
        TVelShChangeDelay* delay;
        ~Over() {
            {
                std::lock_guard guard(delay->mutex());
                delay->inFlight_ = false;
            }
            delay->Wake();
        }
    } over{this};
    ChangeCallback callback;
    TShPendingNode* node;
    {
        std::lock_guard guard(mutex());
        // A Post after the delay ran out waits for its own delay.
        if (ticket != posts_ || !node_ || !callback_)
            return;
        callback = callback_;
        node = node_;
    }
    TShPendingNode* const delivered = node;
    callback(this, node);
    std::lock_guard guard(mutex());
    if (ticket != posts_ || node == delivered)
        return; // a Post from the callback, or the node stays pending
    if (owned_)
        delete delivered;
    node_ = node;
    owned_ = false;
}

} // namespace kelvora
