#pragma once
// A temporary folder for one test, removed with everything in it afterwards.
#include <string>
#include <string_view>

namespace kelvora::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Full path of the folder, without a trailing "/".
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(std::string_view name) const;
    // Writes bytes to a file below the folder (parents created) and returns its path.
    std::string write(std::string_view name, std::string_view bytes) const;

private:
    std::string path_;
};

// Files and folders at full paths, parents made as needed; each returns the path.
std::string makeDirAt(const std::string& path);
std::string writeFileAt(const std::string& path, std::string_view bytes);
std::string makeLinkAt(const std::string& target, const std::string& path);
// A FIFO that nothing writes to: opening it for reading waits for ever.
std::string makeFifoAt(const std::string& path);

std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

} // namespace kelvora::test
