#pragma once
// A small read-only FUSE file system served by this process that answers every
// question only after a delay, like a network drive on a slow line. It speaks
// the kernel's FUSE protocol on /dev/fuse itself (no library needed) and is
// mounted like HungMount (hung_mount.h): call EnterPrivateMountNamespace first,
// as root.
//
// Its tree is fixed: the root holds folders "album1".."albumN", each of which
// holds folders "sub1".."sub3" and empty files "pic01.jpg".."pic05.jpg"; the
// sub-folders are empty. The kernel is told to cache nothing, so every lookup,
// stat and read of a folder reaches the server and waits. Several threads serve
// (questions asked at once wait side by side); the destructor closes the device,
// which fails any question still open, and unmounts.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kelvora::test {

class SlowMount {
public:
    SlowMount(const std::string& path, std::chrono::milliseconds delay, int albums = 5);
    ~SlowMount();
    SlowMount(const SlowMount&) = delete;
    SlowMount& operator=(const SlowMount&) = delete;

    bool mounted() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    // Questions answered so far.
    long answered() const { return answered_.load(); }

private:
    struct Node {
        std::string name;
        unsigned parent = 0;
        bool folder = false;
    };
    void serve();
    void answer(const char* request, std::size_t size);
    const Node* node(std::uint64_t id) const;

    std::string path_;
    std::string error_;
    std::chrono::milliseconds delay_;
    std::vector<Node> nodes_; // node id n is nodes_[n - 1]; 1 is the root
    int fd_ = -1;
    int stop_[2] = {-1, -1}; // a pipe every server polls beside the device
    std::atomic<bool> stopping_{false};
    std::atomic<long> answered_{0};
    std::vector<std::thread> servers_;
};

} // namespace kelvora::test
