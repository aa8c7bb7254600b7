#include "spi/spi_picture_size.h"

#include "base/errors.h"
#include "base/file_io.h"
#include "base/unique_fd.h"
#include "spi/decoder/decoder_protocol.h"
#include "spi/decoder_process.h"
#include "spi/spis.h"

#include <algorithm>
#include <unistd.h>

namespace kelvora {
namespace {

// Long enough for any plug-in that reads a header; the answer only guides a plan.
constexpr std::chrono::milliseconds kLongestWait{5000};

// The data's first bytes, zero-filled, as a load reads them for IsSupported;
// nothing when the file cannot be opened as a regular file.
std::optional<std::string> readHeader(const std::string& fileName) {
    std::string header(spidecoder::kHeaderSize, '\0');
    try {
        const UniqueFd fd(openDescriptorForReading(fileName));
        std::size_t done = 0;
        while (done < header.size()) {
            const ssize_t n = ::read(fd.get(), header.data() + done, header.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
    } catch (const Exception&) {
        return std::nullopt;
    }
    return header;
}

// The plug-ins a load of the file asks, in its order.
std::vector<TSPI*> candidates(const TSPIs& manager, const std::string& fileName) {
    if (manager.GraphicForcedLoader)
        return {manager.GraphicForcedLoader};
    std::vector<TSPI*> list;
    manager.GetSPIList({&TInSPI::classInfo()}, list, fileName);
    return list;
}

} // namespace

std::optional<TSPIPictureSize> GetSPIPictureSize(const std::string& fileName) {
    const TSPIs* manager = GetSPIs();
    if (!manager)
        return std::nullopt;
    const std::optional<std::string> header = readHeader(fileName);
    if (!header)
        return std::nullopt;
    TSPIDecoderProcess decoder({fileName, false, {}, *header},
                               std::min(manager->Timeout, kLongestWait));
    for (TSPI* spi : candidates(*manager, fileName)) {
        for (const int offset : {0, 128}) {
            if (offset == 128 && !manager->MacBinary)
                break;
            try {
                if (decoder.IsSupported(spi->FileName(), offset) == 0)
                    continue;
                PictureInfo info{};
                const std::int32_t result = decoder.GetPictureInfo(spi->FileName(), offset, info);
                LocalFree(info.hInfo);
                if (result != 0)
                    return std::nullopt;
                return TSPIPictureSize{info.width, info.height, info.colorDepth};
            } catch (const ESPIPluginFailed&) {
                break; // it crashed or hung on this file: a load would go on to the next
            }
        }
    }
    return std::nullopt;
}

} // namespace kelvora
