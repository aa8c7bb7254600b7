#include "spi/spis.h"

#include "base/codepage.h"
#include "base/picture.h"
#include "spi/decoder_process.h"
#include "spi/spi_folders.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fnmatch.h>
#include <link.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <tuple>

namespace kelvora {
namespace {

std::atomic<TSPIs*> instance{nullptr};
std::atomic<const TGraphicClass*> defaultGraphicClass{nullptr};

// Information numbers are asked up to this one, so that a plug-in that never
// answers 0 cannot keep the loop going.
constexpr int kMaxInfoNumber = 1024;

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
               return lower(x) == lower(y);
           });
}

// From the last "." on ("." included); "" when a "/" comes after it or there is none.
std::string extensionOf(const std::string& name) {
    const auto pos = name.find_last_of("./");
    return pos != std::string::npos && name[pos] == '.' ? name.substr(pos) : std::string();
}

// Libraries that loaded and answered in the helper, by file identity, so that
// the two loads of one plug-in at start (and later searches) probe it once.
struct Vetted {
    std::mutex lock;
    std::set<std::tuple<dev_t, ino_t, off_t, long long>> files;
};
Vetted& vetted() {
    static Vetted v;
    return v;
}

bool vet(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0)
        return false;
    const auto key = std::make_tuple(st.st_dev, st.st_ino, st.st_size,
                                     static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL +
                                         st.st_mtim.tv_nsec);
    Vetted& v = vetted();
    {
        std::lock_guard guard(v.lock);
        if (v.files.count(key))
            return true;
    }
    const TSPIs* manager = GetSPIs();
    if (!TSPIDecoderProcess::Probe(fileName,
                                   manager ? manager->Timeout : std::chrono::milliseconds(30000)))
        return false;
    std::lock_guard guard(v.lock);
    v.files.insert(key);
    return true;
}

[[noreturn]] void invalidApi(const char* entry, const std::string& fileName) {
    throw ESPIInvalidAPI(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです")
                             .arg(QString::fromLatin1(entry), toQ(fileName)));
}

} // namespace

bool TSPIClass::inheritsFrom(const TSPIClass& other) const {
    for (const TSPIClass* c = this; c; c = c->parent)
        if (c == &other)
            return true;
    return false;
}

// ---- TSPI and its kinds

const TSPIClass& TSPI::classInfo() {
    static const TSPIClass info{"TSPI", nullptr, &TSPI::make<TSPI>};
    return info;
}
const TSPIClass& TLoaderSPI::classInfo() {
    static const TSPIClass info{"TLoaderSPI", &TSPI::classInfo(), &TSPI::make<TLoaderSPI>};
    return info;
}
const TSPIClass& TInSPI::classInfo() {
    static const TSPIClass info{"TInSPI", &TLoaderSPI::classInfo(), &TSPI::make<TInSPI>};
    return info;
}
const TSPIClass& TAmSPI::classInfo() {
    static const TSPIClass info{"TAmSPI", &TLoaderSPI::classInfo(), &TSPI::make<TAmSPI>};
    return info;
}
const TSPIClass& TXnSPI::classInfo() {
    static const TSPIClass info{"TXnSPI", &TSPI::classInfo(), &TSPI::make<TXnSPI>};
    return info;
}

std::unique_ptr<TSPI> TSPI::Create(const std::string& fileName) {
    return make<TSPI>(fileName);
}

TSPI::~TSPI() {
    if (handle_)
        ::dlclose(handle_);
}

void TSPI::Init(const std::string& fileName) {
    // dlopen searches the library path for a bare name; a plug-in is always a file.
    const std::string path = fileName.find('/') == std::string::npos ? "./" + fileName : fileName;
    // Libraries stay mapped once loaded: format libraries keep process-wide state (and
    // threads) that must not be unmapped under them; releasing drops the reference only.
    if (!vet(path) || !(handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)))
        throw ESPIFOpenErrorSPI(
            QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(toQ(fileName)));

    fileName_ = fileName;
    link_map* map = nullptr;
    if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        fileName_ = map->l_name;

    const auto entry = [this](const char* name) { return ::dlsym(handle_, name); };
    getPluginInfo_ = reinterpret_cast<GetPluginInfoFunc>(entry("GetPluginInfo"));
    configurationDlg_ = entry("ConfigurationDlg");
    isSupported_ = reinterpret_cast<IsSupportedFunc>(entry("IsSupported"));
    getPictureInfo_ = reinterpret_cast<GetPictureInfoFunc>(entry("GetPictureInfo"));
    getPicture_ = reinterpret_cast<GetPictureFunc>(entry("GetPicture"));
    getPreview_ = reinterpret_cast<GetPreviewFunc>(entry("GetPreview"));
    getArchiveInfo_ = entry("GetArchiveInfo");
    getFileInfo_ = entry("GetFileInfo");
    getFile_ = entry("GetFile");

    CheckAPI();
    apiVersion_ = infoText(0);
    about_ = infoText(1);
    for (int n = 2; n + 1 <= kMaxInfoNumber; n += 2) {
        char mask[256] = {};
        if (GetPluginInfo(n, mask, 255) <= 0)
            break;
        char name[256] = {};
        if (GetPluginInfo(n + 1, name, 255) <= 0)
            break;
        extensions_.add(mask);
        formatNames_.add(name);
    }
    canLoad_ = CanLoadKind();
}

std::string TSPI::infoText(std::int32_t number) const {
    char text[256] = {};
    return GetPluginInfo(number, text, 255) > 0 ? std::string(text) : std::string();
}

bool TSPI::HasEntry(const char* name) const {
    const void* entries[][2] = {
        {"GetPluginInfo", reinterpret_cast<const void*>(getPluginInfo_)},
        {"ConfigurationDlg", configurationDlg_},
        {"IsSupported", reinterpret_cast<const void*>(isSupported_)},
        {"GetPictureInfo", reinterpret_cast<const void*>(getPictureInfo_)},
        {"GetPicture", reinterpret_cast<const void*>(getPicture_)},
        {"GetPreview", reinterpret_cast<const void*>(getPreview_)},
        {"GetArchiveInfo", getArchiveInfo_},
        {"GetFileInfo", getFileInfo_},
        {"GetFile", getFile_},
    };
    for (const auto& e : entries)
        if (std::strcmp(static_cast<const char*>(e[0]), name) == 0)
            return e[1] != nullptr;
    return false;
}

void TSPI::RequireEntry(const char* name) const {
    if (!HasEntry(name))
        invalidApi(name, fileName_);
}

void TSPI::CheckAPI() const {
    RequireEntry("GetPluginInfo");
}
void TLoaderSPI::CheckAPI() const {
    TSPI::CheckAPI();
    RequireEntry("IsSupported");
}
void TInSPI::CheckAPI() const {
    TLoaderSPI::CheckAPI();
    RequireEntry("GetPictureInfo");
    RequireEntry("GetPicture");
}
void TAmSPI::CheckAPI() const {
    TLoaderSPI::CheckAPI();
    RequireEntry("GetArchiveInfo");
    RequireEntry("GetFileInfo");
    RequireEntry("GetFile");
}

std::int32_t TSPI::GetPluginInfo(std::int32_t infono, char* buf, std::int32_t buflen) const {
    RequireEntry("GetPluginInfo");
    return getPluginInfo_(infono, buf, buflen);
}
std::int32_t TSPI::IsSupported(const char* fileName, const void* header) const {
    RequireEntry("IsSupported");
    return isSupported_(fileName, header);
}
std::int32_t TSPI::GetPictureInfo(const char* buf, intptr_t len, std::uint32_t flag,
                                  PictureInfo* info) const {
    RequireEntry("GetPictureInfo");
    return getPictureInfo_(buf, len, flag, info);
}
std::int32_t TSPI::GetPicture(const char* buf, intptr_t len, std::uint32_t flag, HLOCAL* info,
                              HLOCAL* bits, SUSIE_PROGRESS progress, intptr_t data) const {
    RequireEntry("GetPicture");
    return getPicture_(buf, len, flag, info, bits, progress, data);
}
std::int32_t TSPI::GetPreview(const char* buf, intptr_t len, std::uint32_t flag, HLOCAL* info,
                              HLOCAL* bits, SUSIE_PROGRESS progress, intptr_t data) const {
    RequireEntry("GetPreview");
    return getPreview_(buf, len, flag, info, bits, progress, data);
}

// ---- TSPIs

TSPIs* GetSPIs() {
    return instance.load();
}

TSPIs::TSPIs(QObject* owner) : QObject(owner) {
    TSPIs* expected = nullptr;
    if (!instance.compare_exchange_strong(expected, this))
        throw ESPIDupCreateSPIs(QStringLiteral("TSPIs は複数生成できません"));
    isInstance_ = true;
}

TSPIs::~TSPIs() {
    if (isInstance_)
        instance.store(nullptr);
    Clear();
}

void TSPIs::Loaded() {
    if (AutoSearch)
        Search("*.spi");
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi) {
    if (index < 0 || index > Count())
        throw EListError(
            QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index));
    TSPI& added = *spi;
    items_.insert(items_.begin() + index, std::move(spi));
    if (auto* in = dynamic_cast<TInSPI*>(&added))
        RegisterFormats(*in);
}

void TSPIs::RegisterFormats(TInSPI& spi) {
    for (int j = 0; j < spi.Extensions().count(); ++j) {
        std::string masks = spi.Extensions()[j];
        const std::string& description = spi.FormatNames()[j];
        while (!masks.empty()) {
            std::string pattern;
            const auto semicolon = masks.find_last_of(';');
            if (semicolon != std::string::npos) {
                pattern = masks.substr(semicolon + 1);
                masks.erase(semicolon);
            } else {
                pattern.swap(masks);
            }
            const auto dot = pattern.find('.');
            const std::string extension =
                dot == std::string::npos ? pattern : pattern.substr(dot + 1);
            const TGraphicClass* cls = DefaultGraphicClass();
            if (OnPictureRegister)
                OnPictureRegister(*this, spi, extension, description, cls);
            if (cls)
                TPicture::registerFileFormat(extension, toQ(description), *cls);
        }
    }
}

void TSPIs::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError(
            QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index));
    // The forced loader must not outlive its plug-in.
    if (GraphicForcedLoader == items_[static_cast<std::size_t>(index)].get())
        GraphicForcedLoader = nullptr;
    items_.erase(items_.begin() + index);
}

void TSPIs::Clear() {
    while (Count() > 0)
        Delete(0);
}

int TSPIs::IndexOf(const std::string& fileName) const {
    for (int i = 0; i < Count(); ++i)
        if (equalsIgnoringAsciiCase(Items(i)->FileName(), fileName))
            return i;
    return -1;
}

void TSPIs::Search(const std::string& fileMask) {
    const auto slash = fileMask.find_last_of('/');
    if (slash != std::string::npos) {
        SearchFolder(fileMask.substr(0, slash + 1), fileMask.substr(slash + 1));
        return;
    }
    const auto searchIn = [&](std::string folder) {
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        SearchFolder(folder, fileMask);
    };
    if (SearchOptions.contains(spsSusieDir)) {
        const std::string folder = SusiePluginFolder();
        if (!folder.empty())
            searchIn(folder);
    }
    if (SearchOptions.contains(spsAppDir))
        searchIn(ApplicationPluginFolder());
    if (SearchOptions.contains(spsCurrentDir))
        searchIn(CurrentFolder());
    if (SearchOptions.contains(spsSystemDir)) {
        const std::string folder = SystemPluginFolder();
        if (!folder.empty())
            searchIn(folder);
    }
    // spsWindowsDir: there is no Windows folder here.
}

void TSPIs::SearchFolder(const std::string& folder, const std::string& mask) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            // Hidden files and folders are not plug-ins; case is ignored as on Windows.
            if (entry->d_name[0] == '.' ||
                ::fnmatch(mask.c_str(), entry->d_name, FNM_CASEFOLD) != 0)
                continue;
            struct stat st;
            const std::string full = folder + entry->d_name;
            if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                names.push_back(entry->d_name);
        }
        ::closedir(dir);
    }
    // The order of the directory is arbitrary here; name order makes loading repeatable.
    std::sort(names.begin(), names.end());
    std::vector<std::string> found;
    for (const std::string& name : names)
        if (IndexOf(folder + name) < 0)
            found.push_back(folder + name);

    for (const std::string& fileName : found) {
        bool accept = true;
        if (OnSearching)
            OnSearching(*this, fileName, accept);
        if (!accept)
            continue;
        std::unique_ptr<TSPI> spi;
        try {
            spi = CreateSPI(fileName);
        } catch (const ESPIInvalidAPI&) {
            // A library that lacks its kind's entry points is skipped like one that does not load.
            continue;
        }
        if (!spi)
            continue;
        try {
            accept = true;
            if (OnSearch)
                OnSearch(*this, *spi, accept);
            if (accept)
                Add(std::move(spi));
        } catch (const std::exception&) {
            // The plug-in is freed; the search goes on.
        }
    }
}

void TSPIs::GetSPIList(const std::vector<const TSPIClass*>& classes, std::vector<TSPI*>& target,
                       const std::string& fileName) const {
    const std::string ext = extensionOf(fileName);
    std::vector<TSPI*> declaring;
    for (const auto& spi : items_) {
        if (std::none_of(classes.begin(), classes.end(),
                         [&](const TSPIClass* c) { return spi->spiClass().inheritsFrom(*c); }))
            continue;
        bool declares = false;
        if (!ext.empty())
            for (const std::string& mask : spi->Extensions())
                declares = declares || equalsIgnoringAsciiCase(extensionOf(mask), ext);
        if (declares)
            target.insert(target.begin(), spi.get());
        else
            target.push_back(spi.get());
    }
}

std::unique_ptr<TSPI> TSPIs::CreateSPI(const std::string& fileName) {
    try {
        const std::unique_ptr<TSPI> probe = TSPI::Create(fileName);
        const std::string& version = probe->APIVersion();
        const TSPIClass& kind = version == "00IN"   ? TInSPI::classInfo()
                                : version == "00AM" ? TAmSPI::classInfo()
                                : version == "00XN" ? TXnSPI::classInfo()
                                                    : TSPI::classInfo();
        return kind.create(fileName);
    } catch (const ESPIFOpenErrorSPI&) {
        return nullptr;
    } catch (const ESPIInvalidSPI&) {
        return nullptr;
    }
}

void TSPIs::SetDefaultGraphicClass(const TGraphicClass* graphicClass) {
    defaultGraphicClass.store(graphicClass);
}

const TGraphicClass* TSPIs::DefaultGraphicClass() {
    return defaultGraphicClass.load();
}

} // namespace kelvora
