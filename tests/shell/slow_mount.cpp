#include "tests/shell/slow_mount.h"

#include "tests/shell/hung_mount.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::test {

namespace {

constexpr int kServers = 4;
constexpr std::size_t kBufferSize = 1 << 20; // above the largest write the kernel may send
constexpr std::uint32_t kMaxWrite = 1 << 16;

} // namespace

SlowMount::SlowMount(const std::string& path, std::chrono::milliseconds delay, int albums)
    : path_(path), delay_(delay) {
    nodes_.push_back({"", 0, true}); // 1: the root
    for (int a = 1; a <= albums; ++a) {
        const auto album = static_cast<unsigned>(nodes_.size() + 1);
        nodes_.push_back({"album" + std::to_string(a), 1, true});
        for (int s = 1; s <= 3; ++s)
            nodes_.push_back({"sub" + std::to_string(s), album, true});
        for (int p = 1; p <= 5; ++p)
            nodes_.push_back({"pic0" + std::to_string(p) + ".jpg", album, false});
    }
    // A crash while this process serves its own mount would dump core forever:
    // the dump waits for threads that wait for answers nobody gives any more.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    fd_ = MountUnservedFuse(path, error_);
    if (fd_ < 0)
        return;
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    if (::pipe2(stop_, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        ::umount2(path_.c_str(), MNT_DETACH);
        return;
    }
    for (int i = 0; i < kServers; ++i)
        servers_.emplace_back([this] { serve(); });
}

SlowMount::~SlowMount() {
    if (fd_ < 0)
        return;
    stopping_ = true;
    const char byte = 0;
    (void)!::write(stop_[1], &byte, 1);
    for (std::thread& t : servers_)
        t.join();
    ::close(stop_[0]);
    ::close(stop_[1]);
    // Closing the device fails every question still open, then nothing is left
    // to wait on the mount.
    ::close(fd_);
    ::umount2(path_.c_str(), MNT_DETACH);
}

const SlowMount::Node* SlowMount::node(std::uint64_t id) const {
    return id >= 1 && id <= nodes_.size() ? &nodes_[id - 1] : nullptr;
}

void SlowMount::serve() {
    std::vector<char> buffer(kBufferSize);
    while (!stopping_) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (stopping_ || (fds[1].revents & POLLIN))
            return;
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR || errno == ENOENT)
                continue; // another server took it, or it was interrupted
            return;       // the connection is gone
        }
        if (static_cast<std::size_t>(n) >= sizeof(fuse_in_header))
            answer(buffer.data(), static_cast<std::size_t>(n));
    }
}

void SlowMount::answer(const char* request, std::size_t size) {
    fuse_in_header in;
    std::memcpy(&in, request, sizeof in);
    const char* arg = request + sizeof in;
    const std::size_t argSize = size - sizeof in;

    std::vector<char> out(sizeof(fuse_out_header));
    int error = 0;
    auto put = [&out](const void* data, std::size_t n) {
        const auto* p = static_cast<const char*>(data);
        out.insert(out.end(), p, p + n);
    };
    auto attrOf = [this](std::uint64_t id) {
        fuse_attr a{};
        const Node* n = node(id);
        a.ino = id;
        a.mode = n->folder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
        a.nlink = n->folder ? 2 : 1;
        a.mtime = a.ctime = a.atime = 1700000000;
        a.blksize = 4096;
        return a;
    };

    switch (in.opcode) {
    case FUSE_FORGET:
    case FUSE_BATCH_FORGET:
    case FUSE_INTERRUPT:
        return; // no answer expected
    case FUSE_INIT: {
        fuse_init_in init{};
        std::memcpy(&init, arg, std::min(argSize, sizeof init));
        fuse_init_out o{};
        o.major = FUSE_KERNEL_VERSION;
        o.minor = std::min<std::uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
        o.max_readahead = init.max_readahead;
        o.max_write = kMaxWrite;
        o.time_gran = 1;
        put(&o, sizeof o);
        break;
    }
    case FUSE_RELEASE:
    case FUSE_RELEASEDIR:
    case FUSE_FLUSH:
    case FUSE_DESTROY:
        break;
    default:
        // Everything a program asks waits, as on a slow line.
        std::this_thread::sleep_for(delay_);
        switch (in.opcode) {
        case FUSE_LOOKUP: {
            const std::string name(arg, strnlen(arg, argSize));
            std::uint64_t found = 0;
            for (std::size_t i = 0; i < nodes_.size() && !found; ++i) {
                if (nodes_[i].parent == in.nodeid && nodes_[i].name == name)
                    found = i + 1;
            }
            if (!found) {
                error = -ENOENT;
                break;
            }
            fuse_entry_out e{};
            e.nodeid = found;
            e.attr = attrOf(found);
            put(&e, sizeof e);
            break;
        }
        case FUSE_GETATTR: {
            if (!node(in.nodeid)) {
                error = -ENOENT;
                break;
            }
            fuse_attr_out a{};
            a.attr = attrOf(in.nodeid);
            put(&a, sizeof a);
            break;
        }
        case FUSE_OPEN:
        case FUSE_OPENDIR: {
            fuse_open_out o{};
            o.fh = in.nodeid;
            put(&o, sizeof o);
            break;
        }
        case FUSE_READ:
            break; // the files are empty
        case FUSE_READDIR: {
            fuse_read_in r{};
            std::memcpy(&r, arg, std::min(argSize, sizeof r));
            std::uint64_t index = 0;
            for (std::size_t i = 0; i < nodes_.size(); ++i) {
                if (nodes_[i].parent != in.nodeid || ++index <= r.offset)
                    continue;
                const std::string& name = nodes_[i].name;
                const std::size_t length =
                    (offsetof(fuse_dirent, name) + name.size() + 7) & ~std::size_t(7);
                if (out.size() - sizeof(fuse_out_header) + length > r.size)
                    break;
                std::vector<char> d(length, 0);
                fuse_dirent head{};
                head.ino = i + 1;
                head.off = index;
                head.namelen = static_cast<std::uint32_t>(name.size());
                head.type = nodes_[i].folder ? DT_DIR : DT_REG;
                std::memcpy(d.data(), &head, offsetof(fuse_dirent, name));
                std::memcpy(d.data() + offsetof(fuse_dirent, name), name.data(), name.size());
                put(d.data(), d.size());
            }
            break;
        }
        case FUSE_STATFS: {
            fuse_statfs_out s{};
            s.st.bsize = s.st.frsize = 4096;
            s.st.namelen = 255;
            s.st.blocks = 1024;
            put(&s, sizeof s);
            break;
        }
        case FUSE_ACCESS:
            break;
        default:
            error = -ENOSYS;
        }
    }
    if (error)
        out.resize(sizeof(fuse_out_header));
    fuse_out_header head{};
    head.len = static_cast<std::uint32_t>(out.size());
    head.error = error;
    head.unique = in.unique;
    std::memcpy(out.data(), &head, sizeof head);
    if (::write(fd_, out.data(), out.size()) >= 0 || errno != ENOENT)
        ++answered_;
}

} // namespace kelvora::test
