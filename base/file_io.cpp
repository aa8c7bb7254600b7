#include "base/file_io.h"

#include "base/codepage.h"
#include "base/errors.h"

#include <cerrno>
#include <sstream>
#include <sys/stat.h>

namespace kelvora {
namespace {
[[noreturn]] void cannotCreate(const std::string& fileName) {
    throw EFCreateError(QStringLiteral("ファイル %1 を作成できません").arg(toQ(fileName)));
}
} // namespace

std::string readWholeFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open())
        throw EFOpenError(QStringLiteral("ファイル %1 は開けません").arg(toQ(fileName)));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return std::move(buffer).str();
}

std::ofstream createFile(const std::string& fileName) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        cannotCreate(fileName);
    return out;
}

void finishFile(std::ofstream& out, const std::string& fileName) {
    out.close();
    if (out.fail())
        cannotCreate(fileName);
}

void writeWholeFile(const std::string& fileName, std::string_view bytes) {
    std::ofstream out = createFile(fileName);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    finishFile(out, fileName);
}

bool forceDirectories(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !forceDirectories(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

} // namespace kelvora
