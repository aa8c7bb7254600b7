#include "spi/decoder_channel.h"

#include "kelvora/local_file.h"
#include "spi/decoder_process.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace kelvora {
using namespace spidecoder;

namespace {

// Address space and CPU time of one helper: room for the largest picture the
// program accepts, decoded by a library that keeps a few copies of it.
constexpr unsigned long long kHelperMemory = 6ULL << 30;
constexpr unsigned kHelperCpuSeconds = 600;

// How long a helper asked to end may take before its group is killed: ample for
// one that takes its descendants, short for one whose plug-in blocks SIGTERM.
constexpr int kEndGraceMs = 1000;

// Waits until the process has ended (without reaping it), at most `ms`.
void waitForEnd(pid_t pid, int ms) {
    const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0)
        return;
    pollfd pfd{handle, POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) != -1 ||
            errno != EINTR)
            break;
    }
    ::close(handle);
}

} // namespace

TSPIDecoderChannel::TSPIDecoderChannel(std::chrono::milliseconds timeout,
                                       Clock::time_point deadline)
    : timeout_(timeout), deadline_(deadline) {
    if (Clock::now() >= deadline_)
        throw DecoderChannelError{"timeout"};
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        throw DecoderChannelError{"socketpair"};
    fd_.reset(fds[0]);
    int child = fds[1];
    if (child == kChannelFd) { // dup2 onto itself would keep close-on-exec
        child = ::fcntl(fds[1], F_DUPFD_CLOEXEC, kChannelFd + 1);
        ::close(fds[1]);
    }
    const int buffer = 1 << 21;
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    ::setsockopt(child, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);

    const std::string program = TSPIDecoderProcess::HelperPath();
    std::vector<std::string> args{program};
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizers' shadow memory does not fit under an address-space limit.
    args.insert(args.end(), {"--memory", std::to_string(kHelperMemory)});
#endif
    args.insert(args.end(), {"--cpu", std::to_string(kHelperCpuSeconds)});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, child, kChannelFd);
    // A group of its own, so that whatever its plug-ins start can be killed with it,
    // and the terminal's signals go to the program alone.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int rc =
        ::posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(child);
    if (rc != 0) {
        pid_ = -1;
        throw DecoderChannelError{"spawn"};
    }
}

TSPIDecoderChannel::~TSPIDecoderChannel() {
    fd_.reset();
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    waitForEnd(pid_, kEndGraceMs);
    // The helper is not reaped yet, so its group cannot have been reused.
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void TSPIDecoderChannel::send(Message type, const std::string& payload) {
    std::string frame;
    frame.append(reinterpret_cast<const char*>(&type), sizeof type);
    const std::uint64_t size = payload.size();
    frame.append(reinterpret_cast<const char*>(&size), sizeof size);
    frame += payload;
    const char* p = frame.data();
    std::size_t left = frame.size();
    while (left > 0) {
        const ssize_t n = ::send(fd_.get(), p, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw DecoderChannelError{"send"};
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

Message TSPIDecoderChannel::next() {
    messageDeadline_ = std::min(Clock::now() + timeout_, deadline_);
    Message type;
    std::uint64_t size;
    read(&type, sizeof type, false);
    read(&size, sizeof size, false);
    remaining_ = size;
    return type;
}

std::string TSPIDecoderChannel::getString(std::uint64_t limit) {
    const auto size = get<std::uint64_t>();
    if (size > limit || size > remaining_)
        throw DecoderChannelError{"size"};
    std::string bytes(size, '\0');
    read(bytes.data(), bytes.size());
    return bytes;
}

namespace {

template <class Fill> LocalBlock readInto(std::uint64_t size, Fill fill) {
    LocalBlock block(LocalAlloc(LMEM_FIXED, size));
    if (!block)
        throw DecoderChannelError{"memory"};
    fill(block.get());
    return block;
}

} // namespace

LocalBlock TSPIDecoderChannel::getBytes(std::uint64_t limit) {
    const auto size = get<std::uint64_t>();
    if (size > limit || size > remaining_)
        throw DecoderChannelError{"size"};
    return size == 0 ? nullptr : readInto(size, [&](void* block) { read(block, size); });
}

LocalBlock TSPIDecoderChannel::getBlock(std::uint64_t limit) {
    const auto size = get<std::uint64_t>();
    const auto form = get<BlockForm>();
    if (size > limit)
        throw DecoderChannelError{"size"};
    if (form == BlockForm::kInline) {
        if (size > remaining_)
            throw DecoderChannelError{"size"};
        return size == 0 ? nullptr : readInto(size, [&](void* block) { read(block, size); });
    }
    if (form != BlockForm::kMemoryFile || remaining_ < 1)
        throw DecoderChannelError{"form"};
    remaining_ -= 1;
    // The file becomes the block as it is, without a copy, once its seals and size
    // show that nothing can cut it under the mapping.
    LocalBlock block(KelvoraLocalAdopt(receiveFile(), size));
    if (!block)
        throw DecoderChannelError{"file"};
    return block;
}

void TSPIDecoderChannel::end() {
    if (remaining_ != 0)
        throw DecoderChannelError{"trailing"};
}

// The one byte that carries a memory file, and the file.
int TSPIDecoderChannel::receiveFile() {
    waitReadable();
    char byte;
    iovec io{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    while ((n = ::recvmsg(fd_.get(), &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    const cmsghdr* c = n == 1 ? CMSG_FIRSTHDR(&message) : nullptr;
    if (!c || c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS ||
        c->cmsg_len != CMSG_LEN(sizeof(int)) || (message.msg_flags & MSG_CTRUNC))
        throw DecoderChannelError{"file"};
    int file;
    std::memcpy(&file, CMSG_DATA(c), sizeof file);
    return file;
}

// Until the socket has data (or is closed); "timeout" at the deadline.
void TSPIDecoderChannel::waitReadable() {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(messageDeadline_ - Clock::now());
        if (left.count() <= 0)
            throw DecoderChannelError{"timeout"};
        pollfd pfd{fd_.get(), POLLIN, 0};
        const int ready =
            ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
        if (ready > 0)
            return;
    }
}

void TSPIDecoderChannel::read(void* data, std::size_t size, bool counted) {
    if (counted) {
        if (size > remaining_)
            throw DecoderChannelError{"short"};
        remaining_ -= size;
    }
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        waitReadable();
        const ssize_t n = ::read(fd_.get(), p, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            throw DecoderChannelError{"closed"};
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace kelvora
