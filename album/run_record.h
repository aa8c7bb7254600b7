#pragma once
// The record of an album's last run, kept in the user's cache folder
// ($XDG_CACHE_HOME/kelvora/, one file per page, named by a hash of the page's
// absolute path) and never beside the album, so that nothing extra is uploaded.
//
// It says, per output file, what made it: the source and the file identity it
// had, the settings' shape and the decoder, and the output's own identity as the
// run left it. A later run keeps an output only when all of these still hold,
// and trashes outputs it no longer writes only when they are still the files the
// record names. A record that is missing, unreadable, for another page or
// damaged (its checksum fails) counts as none: the next run converts everything.
// It is replaced atomically (temporary file, fsync, rename).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

// What tells one file from another and from its own earlier contents.
struct TFileStamp {
    std::int64_t dev = 0;
    std::int64_t ino = 0;
    std::int64_t size = 0;
    std::int64_t mtime = 0; // ns since the epoch
    std::int64_t ctime = 0; // ns since the epoch

    bool operator==(const TFileStamp&) const = default;
    // The same file, unchanged since, as far as a file left alone shows it (the
    // ctime moves with every hard link made to it).
    bool sameOutput(const TFileStamp& other) const {
        return dev == other.dev && ino == other.ino && size == other.size && mtime == other.mtime;
    }
};

// stat(2) of a source (links followed); nothing when it fails.
std::optional<TFileStamp> SourceStamp(const std::string& path);
// lstat(2) of an output: nothing unless it is a regular file.
std::optional<TFileStamp> OutputStamp(const std::string& path);

struct TRecordedOutput {
    std::string output; // full path
    TFileStamp outputStamp;
    std::string source; // the picture that won this name
    TFileStamp sourceStamp;
    std::string shape;   // OutputShape of its kind's settings
    std::string decoder; // DecoderOf its source
};

struct TRecordedPage {
    std::string path;
    TFileStamp stamp;
};

struct TRunRecord {
    std::string page; // the album's page, absolute
    std::vector<TRecordedOutput> outputs;
    std::vector<TRecordedPage> pages; // every page the run wrote

    // Whether the run wrote a page of that path.
    bool wrotePage(const std::string& path) const;
};

// Where the record of a page lives.
std::string RunRecordPath(const std::string& page);
// The record of the page's last run, or nothing (see above).
std::optional<TRunRecord> LoadRunRecord(const std::string& page);
// Replaces the page's record; false when it cannot, after removing the old one so
// that it can no longer be trusted.
bool SaveRunRecord(const TRunRecord& record);

} // namespace kelvora
