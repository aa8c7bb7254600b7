#include "album/output_shape.h"

#include "album/picture_job.h"
#include "spi/spis.h"

#include <sys/stat.h>

namespace kelvora {
namespace {

template <class T> void field(std::string& text, const char* name, const T& value) {
    text += name;
    text += '=';
    if constexpr (std::is_same_v<T, std::string>)
        text += std::to_string(value.size()) + ':' + value;
    else
        text += std::to_string(value);
    text += ';';
}

std::string pluginStamps() {
    std::string text;
    const TSPIs* plugins = GetSPIs();
    for (int i = 0; plugins && i < plugins->Count(); ++i) {
        const std::string& file = plugins->Items(i)->FileName();
        struct stat st {};
        ::stat(file.c_str(), &st);
        field(text, "plugin", file);
        field(text, "size", static_cast<long long>(st.st_size));
        field(text, "mtime",
              static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec);
    }
    return text;
}

} // namespace

std::string OutputShape(const TPictureSettings& settings) {
    // The structured binding names every member: one more or one less does not compile.
    const auto& [Header, Folder, PictureType, Quality, PictureSizeMode, Rate, Vertical, Horizonal,
                 Consecutive, Smooth, KeepAspect, OutputFolder] = settings;
    std::string text;
    field(text, "Header", Header);
    field(text, "Folder", Folder);
    field(text, "PictureType", PictureType);
    field(text, "Quality", Quality);
    field(text, "PictureSizeMode", PictureSizeMode);
    field(text, "Rate", Rate);
    field(text, "Vertical", Vertical);
    field(text, "Horizonal", Horizonal);
    field(text, "Consecutive", Consecutive);
    field(text, "Smooth", Smooth);
    field(text, "KeepAspect", KeepAspect);
    field(text, "OutputFolder", OutputFolder);
    return text;
}

std::string DecoderOf(const std::string& sourceFile) {
    std::string text;
    field(text, "version", std::string(KELVORA_VERSION));
    const TPictureSettings none;
    if (IsPluginPicture({sourceFile, &none, &none}))
        text += pluginStamps();
    return text;
}

} // namespace kelvora
