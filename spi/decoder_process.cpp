#include "spi/decoder_process.h"

#include "base/codepage.h"
#include "spi/decoder_channel.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace kelvora {
using namespace spidecoder;
using Clock = std::chrono::steady_clock;

namespace {

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

TSPIDecoderProcess::TSPIDecoderProcess(Input input, std::chrono::milliseconds timeout,
                                       std::chrono::milliseconds total)
    : input_(std::move(input)), timeout_(timeout),
      // Far enough for "no limit" without overflowing the clock.
      deadline_(Clock::now() + std::min(total, std::chrono::milliseconds(1LL << 40))) {}

TSPIDecoderProcess::~TSPIDecoderProcess() = default;

TSPIDecoderChannel& TSPIDecoderProcess::channel() {
    if (!channel_) {
        auto channel = std::make_unique<TSPIDecoderChannel>(timeout_, deadline_);
        std::string payload;
        put(payload, static_cast<std::uint8_t>(input_.memory));
        putBytes(payload, input_.fileName);
        putBytes(payload, input_.memory ? input_.data : std::string_view());
        putBytes(payload, input_.header.substr(0, kHeaderSize));
        channel->send(Message::kInput, payload);
        channel_ = std::move(channel);
    }
    return *channel_;
}

void TSPIDecoderProcess::fail(const std::string& plugin, const char* what) {
    channel_.reset();
    const std::string name = plugin.substr(plugin.find_last_of('/') + 1);
    if (std::strcmp(what, "timeout") == 0)
        throw ESPIPluginFailed(QStringLiteral("%1:Susie Pluginが応答しません").arg(toQ(name)));
    throw ESPIPluginFailed(QStringLiteral("%1:Susie Pluginが異常終了しました").arg(toQ(name)));
}

std::int32_t TSPIDecoderProcess::IsSupported(const std::string& plugin, int offset) {
    try {
        TSPIDecoderChannel& c = channel();
        c.send(Message::kCall, callPayload(Op::kIsSupported, offset, plugin));
        if (c.next() != Message::kResult)
            throw DecoderChannelError{"type"};
        const auto status = c.get<Status>();
        const auto result = c.get<std::int32_t>();
        c.end();
        return status == Status::kCalled ? result : 0;
    } catch (const DecoderChannelError& e) {
        fail(plugin, e.what);
    }
    return 0;
}

std::int32_t TSPIDecoderProcess::GetPictureInfo(const std::string& plugin, int offset,
                                                PictureInfo& info) {
    info = PictureInfo{};
    try {
        TSPIDecoderChannel& c = channel();
        c.send(Message::kCall, callPayload(Op::kGetPictureInfo, offset, plugin));
        if (c.next() != Message::kResult)
            throw DecoderChannelError{"type"};
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
        LocalBlock text = c.getBytes(kMaxTextBytes);
        c.end();
        info.hInfo = text.release();
        return result;
    } catch (const DecoderChannelError& e) {
        fail(plugin, e.what);
    }
    return -1;
}

std::int32_t TSPIDecoderProcess::GetPicture(const std::string& plugin, int offset, bool preview,
                                            LocalBlock& info, LocalBlock& bits,
                                            const Progress& progress, bool& missing) {
    info.reset();
    bits.reset();
    missing = false;
    std::exception_ptr held; // an error of the progress handler, raised once the call is over
    try {
        TSPIDecoderChannel& c = channel();
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
            throw DecoderChannelError{"type"};
        const auto status = c.get<Status>();
        const auto result = c.get<std::int32_t>();
        if (status == Status::kRefused)
            throw DecoderChannelError{"refused"};
        LocalBlock infoBlock, bitsBlock;
        if (status == Status::kCalled) {
            infoBlock = c.getBlock(kMaxInfoBytes);
            bitsBlock = c.getBlock(kMaxBitsBytes);
        }
        c.end();
        missing = status == Status::kMissingEntry;
        if (held)
            std::rethrow_exception(held);
        info = std::move(infoBlock);
        bits = std::move(bitsBlock);
        return status == Status::kCalled ? result : -1;
    } catch (const DecoderChannelError& e) {
        if (held)
            std::rethrow_exception(held);
        fail(plugin, e.what);
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

} // namespace kelvora
