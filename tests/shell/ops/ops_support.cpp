#include "tests/shell/ops/ops_support.h"

#include <algorithm>
#include <filesystem>

namespace kelvora::test {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace kelvora::test
