// kelvora-spi-decode: loads plug-ins and runs their calls in a process of its
// own, so that a plug-in that crashes, hangs or runs wild on a hostile file
// costs the program one failed attempt and nothing more.
//
//   kelvora-spi-decode [--memory BYTES] [--cpu SECONDS]
//
// The program starts it with the socket of decoder_protocol.h as descriptor 3,
// in a process group of its own, and drives it; the helper limits its own
// address space and CPU time before it loads any plug-in, and ends when the
// program closes the socket or asks it to with SIGTERM.
//
// The helper is the subreaper of everything its plug-ins fork: whichever way
// it ends (the socket closed, SIGTERM, a crash it can catch), it first kills
// and reaps every such process, those that left its process group included.
// Records that plug-ins fill get zeroed slots far larger than the records, so
// that one built with another layout cannot write past them, and what they
// hold is checked before it is used. Blocks handed to the program in memory
// files are sealed first (kelvora/local_file.h).
#include "kelvora/local_file.h"
#include "kelvora/susie.h"
#include "spi/decoder/decoder_protocol.h"
#include "spi/local_block.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iterator>
#include <link.h>
#include <malloc.h>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using kelvora::LocalBlock;
using namespace kelvora::spidecoder;

namespace {

const int fd = kChannelFd;

// ---- the processes plug-ins fork

// Parses a decimal number; -1 when the text is not one.
long number(const char* text) {
    long value = 0;
    if (!*text)
        return -1;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9' || value > (LONG_MAX - 9) / 10)
            return -1;
        value = value * 10 + (*text - '0');
    }
    return value;
}

// The parent of a process from /proc/PID/stat ("pid (comm) state ppid ..."; the
// name may hold anything, so the fields are read after its last ')'); -1 when the
// process is gone.
long parentOf(const char* pid) {
    char path[64] = "/proc/";
    const std::size_t length = std::strlen(pid);
    if (length > 20)
        return -1;
    std::memcpy(path + 6, pid, length);
    std::memcpy(path + 6 + length, "/stat", 6);
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return -1;
    char text[512];
    const ssize_t n = read(file, text, sizeof text - 1);
    close(file);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const char* p = std::strrchr(text, ')');
    if (!p || p[1] != ' ' || !p[2] || p[3] != ' ')
        return -1;
    long parent = 0;
    for (p += 4; *p >= '0' && *p <= '9'; ++p)
        parent = parent * 10 + (*p - '0');
    return parent;
}

// Sends SIGKILL to every child of this process; false when /proc cannot be read.
// System calls only: this runs in signal handlers too.
bool killChildren() {
    const long self = getpid();
    const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return false;
    alignas(8) char buffer[4096];
    long n;
    while ((n = syscall(SYS_getdents64, proc, buffer, sizeof buffer)) > 0) {
        for (long at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const long pid = number(entry->d_name);
            if (pid > 0 && pid != self && parentOf(entry->d_name) == self)
                kill(static_cast<pid_t>(pid), SIGKILL);
        }
    }
    close(proc);
    return n == 0;
}

// Kills and reaps every process below this one. The children of a killed child
// come to this process (its subreaper) when that child dies, so it goes round
// until none is left. Async-signal-safe.
void takeDescendants() {
    const int savedErrno = errno;
    for (int round = 0; round < 1000; ++round) {
        pid_t reaped;
        while ((reaped = waitpid(-1, nullptr, WNOHANG)) > 0) {
        }
        if (reaped < 0 && errno == ECHILD)
            break;
        if (reaped < 0 || !killChildren())
            continue;
        if (waitpid(-1, nullptr, 0) < 0 && errno == ECHILD)
            break;
    }
    errno = savedErrno;
}

[[noreturn]] void quit() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, nullptr);
    takeDescendants();
    // No destructors, no atexit handlers of plug-ins that may be in any state.
    _exit(0);
}

void onEndingSignal(int signal) {
    takeDescendants();
    _exit(128 + signal);
}

void handleEndingSignals() {
    // The program may have blocked some (kelvora-album takes SIGINT and SIGTERM on a
    // thread of its own); the helper wants them.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A plug-in that overflows its stack still gets its descendants taken.
    static char alternate[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternate;
    stack.ss_size = sizeof alternate;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    action.sa_flags = SA_ONSTACK;
    sigfillset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT,
                       SIGXCPU, SIGSYS})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// ---- the socket

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
    ~Frame() {
        for (const Block& b : blocks_)
            if (b.file >= 0)
                ::close(b.file);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    template <class T> Frame& put(const T& value) {
        const auto* p = reinterpret_cast<const char*>(&value);
        head_.append(p, sizeof value);
        return *this;
    }
    Frame& bytes(const void* data, std::uint64_t size) {
        put(size);
        blocks_.push_back({head_.size(), data, size, -1});
        return *this;
    }
    // The first `size` bytes of a local block: small ones inline, big ones as a sealed
    // memory file, the block's own when it lives in one (the block is gone from this
    // process then). False when the block cannot be handed over sealed: its file is
    // still mapped writable elsewhere (by a process the plug-in forked, say).
    bool block(HLOCAL handle, std::uint64_t size) {
        put(size);
        if (size < kMemoryFileFrom) {
            put(BlockForm::kInline);
            blocks_.push_back({head_.size(), size ? LocalLock(handle) : nullptr, size, -1});
            return true;
        }
        put(BlockForm::kMemoryFile);
        int file = -1;
        if (KelvoraLocalFile(handle) >= 0 && LocalSize(handle) == size)
            file = KelvoraLocalSeal(handle);
        else
            file = sealedCopy(LocalLock(handle), size);
        if (file < 0)
            return false;
        blocks_.push_back({head_.size(), nullptr, 1, file});
        return true;
    }
    void send() {
        std::uint64_t total = head_.size() - sizeof(Message);
        for (const Block& b : blocks_)
            total += b.size;
        std::string out = head_.substr(0, sizeof(Message));
        out.append(reinterpret_cast<const char*>(&total), sizeof total);
        std::size_t pos = sizeof(Message);
        for (Block& b : blocks_) {
            out.append(head_, pos, b.at - pos);
            pos = b.at;
            if (b.file >= 0) {
                writeAll(out.data(), out.size());
                out.clear();
                sendFile(b.file);
                ::close(std::exchange(b.file, -1));
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
        int file; // a sealed memory file sent with one byte, or -1
    };
    // A new file of the block form (a 32-byte header, its size first, then the bytes),
    // sealed; -1 when it cannot be sealed. Quits when none can be made.
    static int sealedCopy(const void* data, std::uint64_t size) {
        const int file = memfd_create("kelvora-spi-block", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (file < 0)
            quit();
        char header[32] = {};
        std::memcpy(header, &size, sizeof size);
        writeFile(file, header, sizeof header);
        writeFile(file, data, size);
        if (fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE) != 0) {
            ::close(file);
            return -1;
        }
        return file;
    }
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

// ---- records plug-ins fill

// Zeroed slots for the records plug-ins fill through pointers, inside an area with
// an inaccessible page after it: a plug-in that writes a record of another layout,
// or a text longer than the length it was given, writes into the rest of its slot
// or ends the helper, never into the helper's own data.
class RecordArea {
public:
    static constexpr std::size_t kSize = 64 * 1024;
    static constexpr std::size_t kSecondSlot = kSize / 2;

    RecordArea() {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* area =
            mmap(nullptr, kSize + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED || mprotect(static_cast<char*>(area) + kSize, page, PROT_NONE) != 0)
            quit();
        base_ = static_cast<char*>(area);
    }
    // The area zeroed; slots start at 0 and at kSecondSlot.
    char* zeroed() {
        std::memset(base_, 0, kSize);
        return base_;
    }

private:
    char* base_ = nullptr;
};

RecordArea& records() {
    static RecordArea area;
    return area;
}

// The text a plug-in wrote: the bytes before the first NUL within the length it was given.
std::string infoText(const char* slot) {
    return std::string(slot, strnlen(slot, kInfoTextSize));
}

// Bits per pixel a picture can have; anything else in a filled record means it
// was written with another layout.
bool plausibleDepth(std::int16_t depth) {
    for (int d : {1, 2, 4, 8, 15, 16, 24, 32, 48, 64})
        if (depth == d)
            return true;
    return false;
}

// ---- plug-ins

struct Plugin {
    void* handle = nullptr;
    void* entries[std::size(kEntryNames)] = {};
    template <class F> F entry(int index) const { return reinterpret_cast<F>(entries[index]); }
};
// Indices into kEntryNames.
enum Entry {
    kGetPluginInfo,
    kConfigurationDlg,
    kIsSupported,
    kGetPictureInfo,
    kGetPicture,
    kGetPreview
};

std::map<std::string, Plugin> plugins;

const Plugin* load(const std::string& fileName) {
    auto found = plugins.find(fileName);
    if (found != plugins.end())
        return found->second.handle ? &found->second : nullptr;
    Plugin& p = plugins[fileName];
    // dlopen searches the library path for a bare name; a plug-in is always a file.
    const std::string path = fileName.find('/') == std::string::npos ? "./" + fileName : fileName;
    p.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!p.handle)
        return nullptr;
    for (std::size_t i = 0; i < std::size(kEntryNames); ++i)
        p.entries[i] = dlsym(p.handle, kEntryNames[i]);
    return &p;
}

// The library's full name as the loader reports it, made absolute.
std::string absoluteName(const Plugin& p, const std::string& fileName) {
    std::string name = fileName;
    link_map* map = nullptr;
    if (dlinfo(p.handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        name = map->l_name;
    if (name.front() == '/')
        return name;
    while (name.starts_with("./"))
        name.erase(0, 2);
    char folder[PATH_MAX];
    return getcwd(folder, sizeof folder) ? std::string(folder) + "/" + name : name;
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

void getPictureInfo(const Plugin& p, const Source& src) {
    auto* slot = records().zeroed();
    const std::int32_t result = p.entry<GetPictureInfoFunc>(kGetPictureInfo)(
        src.buf, src.len, src.flag, reinterpret_cast<PictureInfo*>(slot));
    PictureInfo info;
    std::memcpy(&info, slot, sizeof info);
    // A handle that is no live block (another layout put something else there) is
    // not touched; a size or a depth that no picture has is dropped, each on its
    // own, since many plug-ins tell the size and leave the depth out.
    if (LocalSize(info.hInfo) == 0)
        info.hInfo = nullptr;
    const LocalBlock text(info.hInfo);
    if (info.width <= 0 || info.height <= 0)
        info.width = info.height = 0;
    if (!plausibleDepth(info.colorDepth))
        info.colorDepth = 0;
    const std::uint64_t textSize = std::min<std::uint64_t>(LocalSize(info.hInfo), kMaxTextBytes);
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
        .bytes(textSize ? LocalLock(text.get()) : nullptr, textSize)
        .send();
}

void getPicture(GetPictureFunc entry, const Source& src) {
    char* slots = records().zeroed();
    auto* infoSlot = reinterpret_cast<HLOCAL*>(slots);
    auto* bitsSlot = reinterpret_cast<HLOCAL*>(slots + RecordArea::kSecondSlot);
    const std::int32_t result = entry(src.buf, src.len, src.flag, infoSlot, bitsSlot, progress, 0);
    const HLOCAL hInfo = *infoSlot;
    const HLOCAL hBits = *bitsSlot;
    // Freed once this call is over; a block handed over is no longer live here, and
    // one given for both is freed once. Anything else in a slot is no block of ours:
    // freeing it does nothing.
    const LocalBlock infoBlock(hInfo);
    const LocalBlock bitsBlock(hBits != hInfo ? hBits : nullptr);
    // Only what the plug-in really allocated is read: LocalSize is 0 for anything else.
    const std::uint64_t infoSize = std::min<std::uint64_t>(LocalSize(hInfo), kMaxInfoBytes);
    const std::uint64_t bitsSize = std::min<std::uint64_t>(LocalSize(hBits), kMaxBitsBytes);
    // One block given for both would be unmapped under the first once the second is sealed.
    Frame frame(Message::kResult);
    frame.put(Status::kCalled).put(result);
    if ((!hInfo || hInfo != hBits) && frame.block(hInfo, infoSize) && frame.block(hBits, bitsSize))
        frame.send();
    else
        sendStatus(Status::kRefused, result);
}

void call() {
    const auto op = get<Op>();
    const auto offset = get<std::int32_t>();
    const std::string fileName = getBytes(1 << 20);
    if (offset < 0 || offset > 128)
        quit();
    const Plugin* p = load(fileName);
    if (!p)
        return sendStatus(Status::kLoadFailed);
    const Source src = sourceAt(offset);
    switch (op) {
    case Op::kIsSupported:
        if (!p->entries[kIsSupported])
            return sendStatus(Status::kMissingEntry);
        // The plug-in may read the whole 2 KiB from the offset on; the buffer holds it.
        return sendStatus(Status::kCalled,
                          p->entry<IsSupportedFunc>(kIsSupported)(input.fileName.c_str(),
                                                                  input.header.data() + offset));
    case Op::kGetPictureInfo:
        if (!p->entries[kGetPictureInfo])
            return sendStatus(Status::kMissingEntry);
        return getPictureInfo(*p, src);
    case Op::kGetPicture:
    case Op::kGetPreview: {
        const int index = op == Op::kGetPicture ? kGetPicture : kGetPreview;
        if (!p->entries[index])
            return sendStatus(Status::kMissingEntry);
        return getPicture(p->entry<GetPictureFunc>(index), src);
    }
    }
    quit();
}

// Loads the library and reports its entry points and information texts, asked as
// the program's plug-in manager would: 0 and 1, then pairs until one does not answer.
void list() {
    const std::string fileName = getBytes(1 << 20);
    const Plugin* p = load(fileName);
    std::uint16_t entries = 0;
    std::vector<std::pair<std::int32_t, std::string>> info;
    if (p) {
        for (std::size_t i = 0; i < std::size(kEntryNames); ++i)
            if (p->entries[i])
                entries |= static_cast<std::uint16_t>(1u << i);
        if (const auto getPluginInfo = p->entry<GetPluginInfoFunc>(kGetPluginInfo)) {
            const auto ask = [&](int number) {
                char* slot = records().zeroed();
                const std::int32_t result = getPluginInfo(number, slot, kInfoTextSize);
                info.emplace_back(result, infoText(slot));
                return result > 0;
            };
            ask(0);
            ask(1);
            for (int n = 2; n + 1 <= kMaxInfoNumber && ask(n) && ask(n + 1); n += 2) {
            }
        }
    }
    const std::string name = p ? absoluteName(*p, fileName) : fileName;
    const Status status = !p                                 ? Status::kLoadFailed
                          : entries & (1u << kGetPluginInfo) ? Status::kCalled
                                                             : Status::kMissingEntry;
    Frame frame(Message::kListing);
    frame.put(status).put(entries).bytes(name.data(), name.size());
    frame.put(static_cast<std::uint32_t>(info.size()));
    for (const auto& [result, text] : info)
        frame.put(result).bytes(text.data(), text.size());
    frame.send();
}

void limitSelf(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const rlim_t value = std::strtoull(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--memory") == 0) {
            const rlimit limit{value, value};
            setrlimit(RLIMIT_AS, &limit);
        } else if (std::strcmp(argv[i], "--cpu") == 0) {
            // SIGXCPU first, which still takes the descendants; SIGKILL a little later.
            const rlimit limit{value, value + 5};
            setrlimit(RLIMIT_CPU, &limit);
        }
    }
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

} // namespace

int main(int argc, char** argv) {
    limitSelf(argc, argv);
    // A picture library frees its working copies of a picture as it goes; with a
    // fixed threshold they go back to the system at once, instead of glibc raising
    // the threshold after the first large free and keeping the next ones in its heap.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    handleEndingSignals();
    // The program may end without closing the socket in an orderly way.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
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
        case Message::kList:
            list();
            break;
        default:
            quit();
        }
    }
}
