#pragma once
// One import filter built by the project, loaded with dlopen as the decoding
// helper loads it, and called directly. Header-only: the plug-in tests and
// the plug-in benchmark share it.
#include "kelvora/susie.h"

#include <dlfcn.h>
#include <stdexcept>
#include <string>

namespace kelvora::test {

class ShippedFilter {
public:
    explicit ShippedFilter(const std::string& path)
        : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!handle_)
            throw std::runtime_error("cannot load " + path);
        getPicture_ = reinterpret_cast<GetPictureFunc>(dlsym(handle_, "GetPicture"));
        if (!getPicture_)
            throw std::runtime_error(path + " has no GetPicture");
    }
    ~ShippedFilter() {
        release();
        dlclose(handle_);
    }
    ShippedFilter(const ShippedFilter&) = delete;
    ShippedFilter& operator=(const ShippedFilter&) = delete;

    // GetPicture's result; on success the blocks stay here until the next call.
    std::int32_t fromMemory(const std::string& bytes) {
        return call(bytes.data(), static_cast<intptr_t>(bytes.size()), 1);
    }
    std::int32_t fromFile(const std::string& path) { return call(path.c_str(), 0, 0); }
    const void* info() const { return info_; }
    const unsigned char* bits() const { return static_cast<const unsigned char*>(bits_); }
    std::size_t bitsSize() const { return LocalSize(bits_); }
    // True when the last call left a handle set (a failed call must leave none).
    bool anyHandle() const { return info_ || bits_; }

private:
    std::int32_t call(const char* buf, intptr_t len, std::uint32_t flag) {
        release();
        return getPicture_(buf, len, flag, &info_, &bits_, nullptr, 0);
    }
    void release() {
        info_ = LocalFree(info_);
        bits_ = LocalFree(bits_);
    }

    void* handle_;
    GetPictureFunc getPicture_ = nullptr;
    HLOCAL info_ = nullptr;
    HLOCAL bits_ = nullptr;
};

} // namespace kelvora::test
