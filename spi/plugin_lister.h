#pragma once
// Plug-in libraries are listed in kelvora-spi-decode, never in the program:
// loading a library runs its constructors, and GetPluginInfo writes into a
// buffer on trust. The helper loads the library, finds its entry points and
// asks its information texts, each into a slot far larger than the 256 bytes
// they are meant to take, and reports what the program keeps of a plug-in.
//
// One lister keeps one helper for the libraries it is given one after the
// other (a folder's, at start), and starts a fresh one after a library that
// crashed or hung it. Each answer is waited for at most `timeout`.
//
// Threading: a lister belongs to one thread.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kelvora {

class TSPIDecoderChannel;

// What the program knows of a plug-in library.
struct TSPIListing {
    std::string fileName;      // absolute, as the loader reports it
    std::uint16_t entries = 0; // bit i: spidecoder::kEntryNames[i] is exported
    // GetPluginInfo 0, 1, 2, ... as far as they were asked: result and text
    std::vector<std::pair<std::int32_t, std::string>> info;
};

class TSPILister {
public:
    enum class Outcome {
        kListed,      // the listing is filled (an entry point may still be missing)
        kNotLoaded,   // no library
        kUnresponsive // it crashed or hung the helper while being listed
    };

    explicit TSPILister(std::chrono::milliseconds timeout);
    ~TSPILister();
    TSPILister(const TSPILister&) = delete;
    TSPILister& operator=(const TSPILister&) = delete;

    Outcome List(const std::string& fileName, TSPIListing& listing);

private:
    std::chrono::milliseconds timeout_;
    std::unique_ptr<TSPIDecoderChannel> channel_;
};

} // namespace kelvora
