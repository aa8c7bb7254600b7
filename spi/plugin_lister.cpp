#include "spi/plugin_lister.h"

#include "spi/decoder_channel.h"

namespace kelvora {
using namespace spidecoder;

TSPILister::TSPILister(std::chrono::milliseconds timeout) : timeout_(timeout) {}

TSPILister::~TSPILister() = default;

TSPILister::Outcome TSPILister::List(const std::string& fileName, TSPIListing& listing) {
    listing = TSPIListing{};
    try {
        if (!channel_)
            channel_ = std::make_unique<TSPIDecoderChannel>(
                timeout_, TSPIDecoderChannel::Clock::time_point::max());
        TSPIDecoderChannel& c = *channel_;
        std::string payload;
        const std::uint64_t size = fileName.size();
        payload.append(reinterpret_cast<const char*>(&size), sizeof size);
        payload += fileName;
        c.send(Message::kList, payload);
        if (c.next() != Message::kListing)
            throw DecoderChannelError{"type"};
        const auto status = c.get<Status>();
        listing.entries = c.get<std::uint16_t>();
        listing.fileName = c.getString(1 << 20);
        const auto count = c.get<std::uint32_t>();
        if (count > kMaxInfoNumber + 1)
            throw DecoderChannelError{"count"};
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto result = c.get<std::int32_t>();
            listing.info.emplace_back(result, c.getString(kInfoTextSize));
        }
        c.end();
        if (status == Status::kLoadFailed)
            return Outcome::kNotLoaded;
        if (listing.fileName.empty() || listing.fileName.front() != '/')
            throw DecoderChannelError{"name"};
        return Outcome::kListed;
    } catch (const DecoderChannelError&) {
        channel_.reset();
        listing = TSPIListing{};
        return Outcome::kUnresponsive;
    }
}

} // namespace kelvora
