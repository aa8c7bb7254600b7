#include "spi/spis.h"

#include "base/base_texts.h"
#include "base/codepage.h"
#include "base/picture.h"
#include "spi/decoder/decoder_protocol.h"
#include "spi/plugin_lister.h"
#include "spi/spi_folders.h"
#include "spi/unresponsive_plugins.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fnmatch.h>
#include <iterator>
#include <sys/stat.h>

namespace kelvora {
namespace {

std::atomic<TSPIs*> instance{nullptr};
std::atomic<const TGraphicClass*> defaultGraphicClass{nullptr};

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

std::chrono::milliseconds listingTimeout() {
    const TSPIs* manager = GetSPIs();
    return manager ? manager->Timeout : TSPIDecoderProcess::kDefaultTimeout;
}

// The name with the current folder before it unless it is absolute already, as the
// helper reports the libraries it lists.
// The full name, as the system names a loaded library: from the program's current
// folder, with "." and ".." taken out (links are not followed).
std::string absolutePath(const std::string& fileName) {
    std::string full = fileName;
    if (!fileName.starts_with('/')) {
        const std::string folder = CurrentFolder();
        if (folder.empty())
            return fileName;
        full = folder + "/" + fileName;
    }
    return std::filesystem::path(full).lexically_normal().string();
}

[[noreturn]] void cannotLoad(const std::string& fileName) {
    throw ESPIFOpenErrorSPI(
        QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(toQ(fileName)));
}

const TSPIClass& kindOf(const TSPIListing& listing) {
    const std::string version =
        !listing.info.empty() && listing.info[0].first > 0 ? listing.info[0].second : "";
    return version == "00IN"   ? TInSPI::classInfo()
           : version == "00AM" ? TAmSPI::classInfo()
           : version == "00XN" ? TXnSPI::classInfo()
                               : TSPI::classInfo();
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
    TSPIListing listing;
    if (TSPILister(listingTimeout()).List(absolutePath(fileName), listing) !=
        TSPILister::Outcome::kListed)
        cannotLoad(fileName);
    return make<TSPI>(listing);
}

std::unique_ptr<TSPI> TSPI::Unresponsive(const std::string& fileName) {
    std::unique_ptr<TSPI> spi(new TSPI);
    spi->fileName_ = absolutePath(fileName);
    spi->about_ = fromQ(QStringLiteral("応答しないため読み込みませんでした"));
    return spi;
}

TSPI::~TSPI() = default;

void TSPI::Init(const TSPIListing& listing) {
    fileName_ = listing.fileName;
    entries_ = listing.entries;
    info_ = listing.info;
    CheckAPI();
    apiVersion_ = infoText(0);
    about_ = infoText(1);
    for (std::size_t n = 2; n + 1 < info_.size() && info_[n].first > 0 && info_[n + 1].first > 0;
         n += 2) {
        extensions_.add(info_[n].second);
        formatNames_.add(info_[n + 1].second);
    }
    canLoad_ = CanLoadKind();
}

std::string TSPI::infoText(std::size_t number) const {
    return number < info_.size() && info_[number].first > 0 ? info_[number].second : std::string();
}

bool TSPI::HasEntry(const char* name) const {
    for (std::size_t i = 0; i < std::size(spidecoder::kEntryNames); ++i)
        if (std::strcmp(spidecoder::kEntryNames[i], name) == 0)
            return entries_ & (1u << i);
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
    if (infono < 0 || static_cast<std::size_t>(infono) >= info_.size())
        return 0;
    const auto& [result, text] = info_[static_cast<std::size_t>(infono)];
    if (buf && buflen > 0) {
        const std::size_t length = std::min(text.size(), static_cast<std::size_t>(buflen - 1));
        std::memcpy(buf, text.data(), length);
        buf[length] = '\0';
    }
    return result;
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
        throw EListError(BaseTexts::Text(BaseTexts::SListIndexError).arg(index));
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
        throw EListError(BaseTexts::Text(BaseTexts::SListIndexError).arg(index));
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

    // One helper lists the folder; libraries that hung or crashed there before wait
    // until they change.
    TSPILister lister(Timeout);
    TUnresponsivePlugins unresponsive;
    for (const std::string& fileName : found) {
        bool accept = true;
        if (OnSearching)
            OnSearching(*this, fileName, accept);
        if (!accept)
            continue;
        std::unique_ptr<TSPI> spi;
        try {
            spi = CreateListed(fileName, lister, &unresponsive);
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
    TSPILister lister(listingTimeout());
    return CreateListed(fileName, lister, nullptr);
}

std::unique_ptr<TSPI> TSPIs::CreateListed(const std::string& fileName, TSPILister& lister,
                                          TUnresponsivePlugins* unresponsive) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0)
        return nullptr;
    const auto identity = TUnresponsivePlugins::IdentityOf(st);
    const std::string key = absolutePath(fileName);
    if (unresponsive && unresponsive->Remembers(key, identity))
        return TSPI::Unresponsive(key);
    TSPIListing listing;
    // Named in full before the helper loads it: the helper's current folder need not
    // be the program's, and the name a library is known by is its full one.
    switch (lister.List(key, listing)) {
    case TSPILister::Outcome::kUnresponsive:
        if (!unresponsive)
            return nullptr;
        unresponsive->Remember(key, identity);
        return TSPI::Unresponsive(key);
    case TSPILister::Outcome::kNotLoaded:
        if (unresponsive)
            unresponsive->Forget(key);
        return nullptr;
    case TSPILister::Outcome::kListed:
        break;
    }
    if (unresponsive)
        unresponsive->Forget(key);
    // One listing serves both the probe and the plug-in of the chosen kind.
    return kindOf(listing).create(listing);
}

void TSPIs::SetDefaultGraphicClass(const TGraphicClass* graphicClass) {
    defaultGraphicClass.store(graphicClass);
}

const TGraphicClass* TSPIs::DefaultGraphicClass() {
    return defaultGraphicClass.load();
}

} // namespace kelvora
