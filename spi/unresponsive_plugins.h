#pragma once
// Plug-in libraries that hung or crashed while being listed, remembered from
// one start to the next so that each costs its wait once: a remembered
// library is not listed again while its size and modification time stay the
// same, and is tried again once either changes.
//
// The memory is a small text file, by default "unresponsive-plugins" in
// $XDG_CACHE_HOME/kelvora/ (~/.cache/kelvora/), one line per library: size,
// modification time in nanoseconds and path, the path with "\" and line
// breaks escaped. It is read when the object is made and replaced whole
// (through a temporary beside it) on every change; a file that cannot be read
// or written only means a library is listed again. Two programs starting at
// once may each drop the other's latest line, which costs one more wait.
//
// Threading: an object belongs to one thread.
#include <map>
#include <string>
#include <sys/stat.h>

namespace kelvora {

class TUnresponsivePlugins {
public:
    struct Identity {
        long long size = 0;
        long long modified = 0; // nanoseconds since the epoch
        bool operator==(const Identity&) const = default;
    };
    static Identity IdentityOf(const struct stat& st);

    // "" when there is no home: nothing is kept across starts then.
    static std::string DefaultFile();

    explicit TUnresponsivePlugins(std::string file = DefaultFile());

    bool Remembers(const std::string& path, const Identity& identity) const;
    void Remember(const std::string& path, const Identity& identity);
    void Forget(const std::string& path);

private:
    void Save() const;

    std::string file_;
    std::map<std::string, Identity> entries_;
};

} // namespace kelvora
