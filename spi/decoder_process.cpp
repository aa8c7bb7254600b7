#include "spi/decoder_process.h"

#include "kelvora/local_file.h"

#include "base/codepage.h"
#include "base/unique_fd.h"
#include "spi/decoder/decoder_protocol.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kelvora {
using namespace spidecoder;
using Clock = std::chrono::steady_clock;

namespace {

// Address space and CPU time of one helper: room for the largest picture the
// program accepts, decoded by a library that keeps a few copies of it.
constexpr unsigned long long kHelperMemory = 6ULL << 30;
constexpr unsigned kHelperCpuSeconds = 600;

std::mutex helperPathLock;
std::string helperPathOverride;

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

struct ProtocolError {
    const char* what;
};

} // namespace

// One running helper and its socket.
class TSPIDecoderProcess::Channel {
public:
    explicit Channel(std::chrono::milliseconds timeout) : timeout_(timeout) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            throw ProtocolError{"socketpair"};
        fd_.reset(fds[0]);
        int child = fds[1];
        if (child == kChannelFd) { // dup2 onto itself would keep close-on-exec
            child = ::fcntl(fds[1], F_DUPFD_CLOEXEC, kChannelFd + 1);
            ::close(fds[1]);
        }
        const int buffer = 1 << 21;
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        ::setsockopt(child, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);

        const std::string program = HelperPath();
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
        const int rc =
            ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(child);
        if (rc != 0) {
            pid_ = -1;
            throw ProtocolError{"spawn"};
        }
    }

    ~Channel() {
        fd_.reset();
        if (pid_ > 0) {
            // Nothing to flush in the helper: killing it is quicker than waiting for it.
            ::kill(pid_, SIGKILL);
            while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }

    void send(Message type, const std::string& payload) {
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
                throw ProtocolError{"send"};
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }

    // The next frame's type; its payload is then read field by field.
    Message next() {
        deadline_ = Clock::now() + timeout_;
        Message type;
        std::uint64_t size;
        read(&type, sizeof type, false);
        read(&size, sizeof size, false);
        remaining_ = size;
        return type;
    }
    template <class T> T get() {
        T value;
        read(&value, sizeof value);
        return value;
    }
    // Bytes of at most `limit` bytes into a new local block (null when empty).
    HLOCAL getBytes(std::uint64_t limit) {
        const auto size = get<std::uint64_t>();
        if (size > limit || size > remaining_)
            throw ProtocolError{"size"};
        return size == 0 ? nullptr : readInto(size, [&](void* block) { read(block, size); });
    }
    // A block (inline or in a memory file) into a new local block (null when empty).
    HLOCAL getBlock(std::uint64_t limit) {
        const auto size = get<std::uint64_t>();
        const auto form = get<BlockForm>();
        if (size > limit)
            throw ProtocolError{"size"};
        if (form == BlockForm::kInline) {
            if (size > remaining_)
                throw ProtocolError{"size"};
            return size == 0 ? nullptr : readInto(size, [&](void* block) { read(block, size); });
        }
        if (form != BlockForm::kMemoryFile || remaining_ < 1)
            throw ProtocolError{"form"};
        remaining_ -= 1;
        // The file becomes the block as it is, without a copy.
        HLOCAL block = KelvoraLocalAdopt(receiveFile());
        if (!block || LocalSize(block) != size) {
            LocalFree(block);
            throw ProtocolError{"file"};
        }
        return block;
    }
    void end() {
        if (remaining_ != 0)
            throw ProtocolError{"trailing"};
    }

private:
    template <class Fill> static HLOCAL readInto(std::uint64_t size, Fill fill) {
        HLOCAL block = LocalAlloc(LMEM_FIXED, size);
        if (!block)
            throw ProtocolError{"memory"};
        try {
            fill(block);
        } catch (...) {
            LocalFree(block);
            throw;
        }
        return block;
    }

    // The one byte that carries a memory file, and the file.
    int receiveFile() {
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
            throw ProtocolError{"file"};
        int file;
        std::memcpy(&file, CMSG_DATA(c), sizeof file);
        return file;
    }

    // Until the socket has data (or is closed); ProtocolError "timeout" at the deadline.
    void waitReadable() {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0)
                throw ProtocolError{"timeout"};
            pollfd pfd{fd_.get(), POLLIN, 0};
            const int ready =
                ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
            if (ready > 0)
                return;
        }
    }

    void read(void* data, std::size_t size, bool counted = true) {
        if (counted) {
            if (size > remaining_)
                throw ProtocolError{"short"};
            remaining_ -= size;
        }
        auto* p = static_cast<char*>(data);
        while (size > 0) {
            waitReadable();
            const ssize_t n = ::read(fd_.get(), p, size);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                throw ProtocolError{"closed"};
            p += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    std::chrono::milliseconds timeout_;
    UniqueFd fd_; // closed also when the constructor gives up
    pid_t pid_ = -1;
    Clock::time_point deadline_;
    std::uint64_t remaining_ = 0;
};

namespace {

template <class T> void put(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
void putBytes(std::string& out, std::string_view bytes) {
    put(out, static_cast<std::uint64_t>(bytes.size()));
    out.append(bytes);
}

std::string callPayload(Op op, int offset, const std::string& plugin) {
    std::string payload;
    put(payload, op);
    put(payload, static_cast<std::int32_t>(offset));
    putBytes(payload, plugin);
    return payload;
}

} // namespace

TSPIDecoderProcess::TSPIDecoderProcess(Input input, std::chrono::milliseconds timeout)
    : input_(std::move(input)), timeout_(timeout) {}

TSPIDecoderProcess::~TSPIDecoderProcess() {
    delete channel_;
}

TSPIDecoderProcess::Channel& TSPIDecoderProcess::channel() {
    if (!channel_) {
        auto channel = std::make_unique<Channel>(timeout_);
        std::string payload;
        put(payload, static_cast<std::uint8_t>(input_.memory));
        putBytes(payload, input_.fileName);
        putBytes(payload, input_.memory ? input_.data : std::string_view());
        putBytes(payload, input_.header.substr(0, kHeaderSize));
        channel->send(Message::kInput, payload);
        channel_ = channel.release();
    }
    return *channel_;
}

void TSPIDecoderProcess::fail(const std::string& plugin, const char* what) {
    delete channel_;
    channel_ = nullptr;
    const std::string name = plugin.substr(plugin.find_last_of('/') + 1);
    if (std::strcmp(what, "timeout") == 0)
        throw ESPIPluginFailed(QStringLiteral("%1:Susie Pluginが応答しません").arg(toQ(name)));
    throw ESPIPluginFailed(QStringLiteral("%1:Susie Pluginが異常終了しました").arg(toQ(name)));
}

std::int32_t TSPIDecoderProcess::IsSupported(const std::string& plugin, int offset) {
    try {
        Channel& c = channel();
        c.send(Message::kCall, callPayload(Op::kIsSupported, offset, plugin));
        if (c.next() != Message::kResult)
            throw ProtocolError{"type"};
        const auto status = c.get<Status>();
        const auto result = c.get<std::int32_t>();
        c.end();
        return status == Status::kCalled ? result : 0;
    } catch (const ProtocolError& e) {
        fail(plugin, e.what);
    }
    return 0;
}

std::int32_t TSPIDecoderProcess::GetPictureInfo(const std::string& plugin, int offset,
                                                PictureInfo& info) {
    info = PictureInfo{};
    try {
        Channel& c = channel();
        c.send(Message::kCall, callPayload(Op::kGetPictureInfo, offset, plugin));
        if (c.next() != Message::kResult)
            throw ProtocolError{"type"};
        const auto status = c.get<Status>();
        const auto result = c.get<std::int32_t>();
        if (status != Status::kCalled) {
            c.end();
            return -1;
        }
        info.left = c.get<std::int32_t>();
        info.top = c.get<std::int32_t>();
        info.width = c.get<std::int32_t>();
        info.height = c.get<std::int32_t>();
        info.x_density = c.get<std::uint16_t>();
        info.y_density = c.get<std::uint16_t>();
        info.colorDepth = c.get<std::int16_t>();
        info.hInfo = c.getBytes(kMaxTextBytes);
        c.end();
        return result;
    } catch (const ProtocolError& e) {
        LocalFree(info.hInfo);
        info.hInfo = nullptr;
        fail(plugin, e.what);
    }
    return -1;
}

std::int32_t TSPIDecoderProcess::GetPicture(const std::string& plugin, int offset, bool preview,
                                            HLOCAL& info, HLOCAL& bits, const Progress& progress,
                                            bool& missing) {
    info = bits = nullptr;
    missing = false;
    std::exception_ptr held; // an error of the progress handler, raised once the call is over
    try {
        Channel& c = channel();
        c.send(Message::kCall,
               callPayload(preview ? Op::kGetPreview : Op::kGetPicture, offset, plugin));
        Message type;
        while ((type = c.next()) == Message::kProgress) {
            const auto done = c.get<std::int32_t>();
            const auto total = c.get<std::int32_t>();
            c.end();
            std::int32_t answer = 1;
            if (!held) {
                try {
                    answer = progress ? progress(done, total) : 0;
                } catch (...) {
                    held = std::current_exception();
                }
            }
            std::string reply;
            put(reply, answer);
            c.send(Message::kProgressReply, reply);
        }
        if (type != Message::kResult)
            throw ProtocolError{"type"};
        const auto status = c.get<Status>();
        const auto result = c.get<std::int32_t>();
        if (status == Status::kCalled) {
            info = c.getBlock(kMaxInfoBytes);
            bits = c.getBlock(kMaxBitsBytes);
        }
        c.end();
        missing = status == Status::kMissingEntry;
        if (held)
            std::rethrow_exception(held);
        return status == Status::kCalled ? result : -1;
    } catch (const ProtocolError& e) {
        LocalFree(info);
        LocalFree(bits);
        info = bits = nullptr;
        if (held)
            std::rethrow_exception(held);
        fail(plugin, e.what);
    } catch (...) {
        LocalFree(info);
        LocalFree(bits);
        info = bits = nullptr;
        throw;
    }
    return -1;
}

void TSPIDecoderProcess::SetHelperPath(std::string path) {
    std::lock_guard guard(helperPathLock);
    helperPathOverride = std::move(path);
}

std::string TSPIDecoderProcess::HelperPath() {
    {
        std::lock_guard guard(helperPathLock);
        if (!helperPathOverride.empty())
            return helperPathOverride;
    }
    static const std::string found = [] {
        const std::string folder = executableFolder();
        for (const char* relative : {"/kelvora-spi-decode", "/../lib/kelvora/kelvora-spi-decode"}) {
            const std::string path = folder + relative;
            if (::access(path.c_str(), X_OK) == 0)
                return path;
        }
        return folder + "/kelvora-spi-decode";
    }();
    return found;
}

bool TSPIDecoderProcess::Probe(const std::string& plugin, std::chrono::milliseconds timeout) {
    try {
        Channel c(timeout);
        std::string payload;
        putBytes(payload, plugin);
        c.send(Message::kProbe, payload);
        if (c.next() != Message::kProbeResult)
            return false;
        const auto status = c.get<Status>();
        c.end();
        return status == Status::kCalled;
    } catch (const ProtocolError&) {
        return false;
    }
}

} // namespace kelvora
