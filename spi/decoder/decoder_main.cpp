// kelvora-spi-decode: runs plug-in calls on picture data in a process of its
// own, so that a plug-in that crashes, hangs or runs wild on a hostile file
// costs the program one failed attempt and nothing more.
//
//   kelvora-spi-decode [--memory BYTES] [--cpu SECONDS]
//
// The program starts it with the socket of decoder_protocol.h as descriptor 3
// and drives it; the helper limits its own address space and CPU time before
// it loads any plug-in, and ends when the program closes the socket.
#include "kelvora/local_file.h"
#include "kelvora/susie.h"
#include "spi/decoder/decoder_protocol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace kelvora::spidecoder;

namespace {

const int fd = kChannelFd;

[[noreturn]] void quit() {
    // No destructors, no atexit handlers of plug-ins that may be in any state.
    _exit(0);
}

void readAll(void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            quit();
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void writeAll(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            quit();
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

template <class T> T get() {
    T value;
    readAll(&value, sizeof value);
    return value;
}

std::string getBytes(std::uint64_t limit) {
    const auto size = get<std::uint64_t>();
    if (size > limit)
        quit();
    std::string bytes(size, '\0');
    readAll(bytes.data(), bytes.size());
    return bytes;
}

// Frames are assembled in a small buffer; big blocks are written straight after it.
class Frame {
public:
    explicit Frame(Message type) { put(type); }
    template <class T> Frame& put(const T& value) {
        const auto* p = reinterpret_cast<const char*>(&value);
        head_.append(p, sizeof value);
        return *this;
    }
    Frame& bytes(const void* data, std::uint64_t size) {
        put(size);
        blocks_.push_back({head_.size(), data, size, -1, false});
        return *this;
    }
    // A local block: big ones as a memory file, the block's own when it has one
    // (quit when none can be made).
    Frame& block(HLOCAL handle, const void* data, std::uint64_t size) {
        put(size);
        if (size < kMemoryFileFrom) {
            put(BlockForm::kInline);
            blocks_.push_back({head_.size(), data, size, -1, false});
            return *this;
        }
        put(BlockForm::kMemoryFile);
        const int own = KelvoraLocalFile(handle);
        if (own >= 0 && LocalSize(handle) == size) {
            blocks_.push_back({head_.size(), nullptr, 1, own, false});
            return *this;
        }
        // A file of the same form: the block's header (its size first), then the bytes.
        const int file = memfd_create("kelvora-spi-block", MFD_CLOEXEC);
        if (file < 0)
            quit();
        char header[32] = {};
        std::memcpy(header, &size, sizeof size);
        writeFile(file, header, sizeof header);
        writeFile(file, data, size);
        blocks_.push_back({head_.size(), nullptr, 1, file, true});
        return *this;
    }
    void send() {
        std::uint64_t total = head_.size() - sizeof(Message);
        for (const Block& b : blocks_)
            total += b.size;
        std::string out = head_.substr(0, sizeof(Message));
        out.append(reinterpret_cast<const char*>(&total), sizeof total);
        std::size_t pos = sizeof(Message);
        for (const Block& b : blocks_) {
            out.append(head_, pos, b.at - pos);
            pos = b.at;
            if (b.file >= 0) {
                writeAll(out.data(), out.size());
                out.clear();
                sendFile(b.file);
                if (b.ownsFile)
                    ::close(b.file);
            } else if (b.size <= 65536) {
                out.append(static_cast<const char*>(b.data), b.size);
            } else {
                writeAll(out.data(), out.size());
                out.clear();
                writeAll(b.data, b.size);
            }
        }
        out.append(head_, pos, std::string::npos);
        writeAll(out.data(), out.size());
    }

private:
    struct Block {
        std::size_t at;
        const void* data;
        std::uint64_t size;
        int file; // a memory file sent with one byte, or -1
        bool ownsFile;
    };
    static void writeFile(int file, const void* data, std::uint64_t size) {
        for (std::uint64_t done = 0; done < size;) {
            const ssize_t n = ::write(file, static_cast<const char*>(data) + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                quit();
            done += static_cast<std::uint64_t>(n);
        }
    }
    static void sendFile(int file) {
        char byte = 'F';
        iovec io{&byte, 1};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &file, sizeof(int));
        while (::sendmsg(fd, &message, MSG_NOSIGNAL) != 1)
            if (errno != EINTR)
                quit();
    }
    std::string head_;
    std::vector<Block> blocks_;
};

struct Plugin {
    void* handle = nullptr;
    GetPluginInfoFunc getPluginInfo = nullptr;
    IsSupportedFunc isSupported = nullptr;
    GetPictureInfoFunc getPictureInfo = nullptr;
    GetPictureFunc getPicture = nullptr;
    GetPreviewFunc getPreview = nullptr;
};

std::map<std::string, Plugin> plugins;

const Plugin* load(const std::string& fileName) {
    auto found = plugins.find(fileName);
    if (found != plugins.end())
        return found->second.handle ? &found->second : nullptr;
    Plugin& p = plugins[fileName];
    p.handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!p.handle)
        return nullptr;
    p.getPluginInfo = reinterpret_cast<GetPluginInfoFunc>(dlsym(p.handle, "GetPluginInfo"));
    p.isSupported = reinterpret_cast<IsSupportedFunc>(dlsym(p.handle, "IsSupported"));
    p.getPictureInfo = reinterpret_cast<GetPictureInfoFunc>(dlsym(p.handle, "GetPictureInfo"));
    p.getPicture = reinterpret_cast<GetPictureFunc>(dlsym(p.handle, "GetPicture"));
    p.getPreview = reinterpret_cast<GetPreviewFunc>(dlsym(p.handle, "GetPreview"));
    return &p;
}

struct Input {
    bool memory = false;
    std::string fileName;
    std::string data;
    std::string header = std::string(kHeaderSize, '\0');
} input;

void readInput() {
    input.memory = get<std::uint8_t>() != 0;
    input.fileName = getBytes(1 << 20);
    input.data = getBytes(input.memory ? (std::uint64_t{1} << 40) : 0);
    input.header = getBytes(kHeaderSize);
    input.header.resize(kHeaderSize, '\0');
}

void sendStatus(Status status, std::int32_t result = 0) {
    Frame(Message::kResult).put(status).put(result).send();
}

int progress(std::int32_t done, std::int32_t total, intptr_t) {
    Frame(Message::kProgress).put(done).put(total).send();
    if (get<Message>() != Message::kProgressReply || get<std::uint64_t>() != sizeof(std::int32_t))
        quit();
    return get<std::int32_t>();
}

// The arguments of the two input forms: the file name and the offset, or the data.
struct Source {
    const char* buf;
    intptr_t len;
    std::uint32_t flag;
};
Source sourceAt(std::int32_t offset) {
    if (!input.memory)
        return {input.fileName.c_str(), offset, 0};
    const std::size_t at =
        std::min<std::size_t>(static_cast<std::size_t>(offset), input.data.size());
    return {input.data.data() + at, static_cast<intptr_t>(input.data.size() - at), 1};
}

void call() {
    const auto op = get<Op>();
    const auto offset = get<std::int32_t>();
    const std::string fileName = getBytes(1 << 20);
    if (offset < 0 || offset > 128)
        quit();
    const Plugin* p = load(fileName);
    if (!p) {
        sendStatus(Status::kLoadFailed);
        return;
    }
    const Source src = sourceAt(offset);
    switch (op) {
    case Op::kIsSupported: {
        if (!p->isSupported)
            return sendStatus(Status::kMissingEntry);
        // The plug-in may read the whole 2 KiB from the offset on; the buffer holds it.
        return sendStatus(Status::kCalled,
                          p->isSupported(input.fileName.c_str(), input.header.data() + offset));
    }
    case Op::kGetPictureInfo: {
        if (!p->getPictureInfo)
            return sendStatus(Status::kMissingEntry);
        PictureInfo info{};
        const std::int32_t result = p->getPictureInfo(src.buf, src.len, src.flag, &info);
        const std::uint64_t textSize =
            std::min<std::uint64_t>(LocalSize(info.hInfo), kMaxTextBytes);
        const void* text = textSize ? LocalLock(info.hInfo) : nullptr;
        Frame(Message::kResult)
            .put(Status::kCalled)
            .put(result)
            .put(info.left)
            .put(info.top)
            .put(info.width)
            .put(info.height)
            .put(info.x_density)
            .put(info.y_density)
            .put(info.colorDepth)
            .bytes(text, text ? textSize : 0)
            .send();
        LocalFree(info.hInfo);
        return;
    }
    case Op::kGetPicture:
    case Op::kGetPreview: {
        const GetPictureFunc entry = op == Op::kGetPicture ? p->getPicture : p->getPreview;
        if (!entry)
            return sendStatus(Status::kMissingEntry);
        HLOCAL hInfo = nullptr;
        HLOCAL hBits = nullptr;
        const std::int32_t result = entry(src.buf, src.len, src.flag, &hInfo, &hBits, progress, 0);
        // Only what the plug-in really allocated is read: LocalSize is 0 for anything else.
        const std::uint64_t infoSize = std::min<std::uint64_t>(LocalSize(hInfo), kMaxInfoBytes);
        const std::uint64_t bitsSize = std::min<std::uint64_t>(LocalSize(hBits), kMaxBitsBytes);
        const void* info = infoSize ? LocalLock(hInfo) : nullptr;
        const void* bits = bitsSize ? LocalLock(hBits) : nullptr;
        Frame(Message::kResult)
            .put(Status::kCalled)
            .put(result)
            .block(hInfo, info, info ? infoSize : 0)
            .block(hBits, bits, bits ? bitsSize : 0)
            .send();
        LocalFree(hInfo);
        LocalFree(hBits);
        return;
    }
    }
    quit();
}

// Loads the library and asks every information number, as the program will.
void probe() {
    const std::string fileName = getBytes(1 << 20);
    const Plugin* p = load(fileName);
    if (!p)
        return void(Frame(Message::kProbeResult).put(Status::kLoadFailed).send());
    if (!p->getPluginInfo)
        return void(Frame(Message::kProbeResult).put(Status::kMissingEntry).send());
    char text[256];
    for (int n = 0; n < kMaxInfoNumber; ++n) {
        std::memset(text, 0, sizeof text);
        if (p->getPluginInfo(n, text, 255) <= 0 && n >= 2 && n % 2 == 0)
            break;
    }
    Frame(Message::kProbeResult).put(Status::kCalled).send();
}

void limitSelf(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const rlim_t value = std::strtoull(argv[i + 1], nullptr, 10);
        const rlimit limit{value, value};
        if (std::strcmp(argv[i], "--memory") == 0)
            setrlimit(RLIMIT_AS, &limit);
        else if (std::strcmp(argv[i], "--cpu") == 0)
            setrlimit(RLIMIT_CPU, &limit);
    }
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

} // namespace

int main(int argc, char** argv) {
    limitSelf(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    if (fcntl(fd, F_GETFD) < 0)
        return 2;
    for (;;) {
        const auto type = get<Message>();
        get<std::uint64_t>(); // each reader knows its payload's layout
        switch (type) {
        case Message::kInput:
            readInput();
            break;
        case Message::kCall:
            call();
            break;
        case Message::kProbe:
            probe();
            break;
        default:
            quit();
        }
    }
}
