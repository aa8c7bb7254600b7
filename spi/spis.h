#pragma once
// The plug-in manager TSPIs and the plug-in kinds TSPI, TLoaderSPI, TInSPI,
// TAmSPI and TXnSPI.
//
// The manager finds Susie plug-ins ("*.spi" shared objects, kelvora/susie.h),
// loads each one as the kind its API version names, keeps them in load order,
// registers the formats of every import filter with the picture loader (the
// latest registration of an extension wins) and unloads them when destroyed.
// There is one manager per program (GetSPIs); a second one is refused.
//
// Before a library is loaded into the program it is loaded once in the
// decoding helper (decoder_process.h) and asked every information number
// there: a library that crashes or hangs doing so is skipped like one that
// does not load. Information numbers are asked up to kMaxInfoNumber.
//
// Threading: search, Add, Insert, Delete and Clear run on the GUI thread, at
// start and at the end. Once the search is over the list is only read, so
// picture loads on worker threads may use it (spi_bitmap.h); the instance
// pointer is atomic.
#include "base/graphic.h"
#include "base/stringlist.h"
#include "kelvora/susie.h"
#include "spi/spi_errors.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TSPI;
class TInSPI;
class TSPIs;

// Run-time class of a plug-in kind: creation by a class chosen at run time,
// and the "is an instance of" test of GetSPIList.
struct TSPIClass {
    const char* name;
    const TSPIClass* parent;
    std::unique_ptr<TSPI> (*create)(const std::string& fileName);

    bool inheritsFrom(const TSPIClass& other) const;
};

class TSPI {
public:
    virtual ~TSPI();
    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;

    static const TSPIClass& classInfo();
    virtual const TSPIClass& spiClass() const { return classInfo(); }

    // Loads the library and reads its texts; ESPIFOpenErrorSPI when it does not
    // load, ESPIInvalidAPI when the kind's entry points are missing.
    static std::unique_ptr<TSPI> Create(const std::string& fileName);

    void* Handle() const { return handle_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& APIVersion() const { return apiVersion_; }
    const std::string& About() const { return about_; }
    const TStringList& Extensions() const { return extensions_; }
    const TStringList& FormatNames() const { return formatNames_; }
    // The answer of CanLoadKind at creation.
    bool CanLoad() const { return canLoad_; }

    // Call wrappers: ESPIInvalidAPI when the entry point is missing, else its result.
    std::int32_t GetPluginInfo(std::int32_t infono, char* buf, std::int32_t buflen) const;
    std::int32_t IsSupported(const char* fileName, const void* header) const;
    std::int32_t GetPictureInfo(const char* buf, intptr_t len, std::uint32_t flag,
                                PictureInfo* info) const;
    std::int32_t GetPicture(const char* buf, intptr_t len, std::uint32_t flag, HLOCAL* info,
                            HLOCAL* bits, SUSIE_PROGRESS progress, intptr_t data) const;
    std::int32_t GetPreview(const char* buf, intptr_t len, std::uint32_t flag, HLOCAL* info,
                            HLOCAL* bits, SUSIE_PROGRESS progress, intptr_t data) const;

    bool HasEntry(const char* name) const;
    // Raises ESPIInvalidAPI for the entry point unless the library exports it.
    void RequireEntry(const char* name) const;

protected:
    TSPI() = default;
    // Creation steps 1 to 7 on a fresh object of the final kind.
    void Init(const std::string& fileName);
    // Requires the kind's entry points in order; the first missing one raises.
    virtual void CheckAPI() const;
    virtual bool CanLoadKind() const { return false; }

    template <class T> static std::unique_ptr<TSPI> make(const std::string& fileName) {
        std::unique_ptr<TSPI> spi(new T);
        spi->Init(fileName);
        return spi;
    }

private:
    std::string infoText(std::int32_t number) const;

    void* handle_ = nullptr;
    std::string fileName_;
    std::string apiVersion_;
    std::string about_;
    TStringList extensions_;
    TStringList formatNames_;
    bool canLoad_ = false;

    GetPluginInfoFunc getPluginInfo_ = nullptr;
    void* configurationDlg_ = nullptr;
    IsSupportedFunc isSupported_ = nullptr;
    GetPictureInfoFunc getPictureInfo_ = nullptr;
    GetPictureFunc getPicture_ = nullptr;
    GetPreviewFunc getPreview_ = nullptr;
    void* getArchiveInfo_ = nullptr;
    void* getFileInfo_ = nullptr;
    void* getFile_ = nullptr;
};

// Never created itself.
class TLoaderSPI : public TSPI {
public:
    static const TSPIClass& classInfo();
    const TSPIClass& spiClass() const override { return classInfo(); }

protected:
    void CheckAPI() const override;
};

// "00IN": an import filter. The only kind that registers formats and decodes.
class TInSPI : public TLoaderSPI {
public:
    static const TSPIClass& classInfo();
    const TSPIClass& spiClass() const override { return classInfo(); }

protected:
    void CheckAPI() const override;
    bool CanLoadKind() const override { return true; }
};

// "00AM": an archive plug-in; listed, never called.
class TAmSPI : public TLoaderSPI {
public:
    static const TSPIClass& classInfo();
    const TSPIClass& spiClass() const override { return classInfo(); }

protected:
    void CheckAPI() const override;
    bool CanLoadKind() const override { return true; }
};

// "00XN"
class TXnSPI : public TSPI {
public:
    static const TSPIClass& classInfo();
    const TSPIClass& spiClass() const override { return classInfo(); }
};

enum TSPISearchOption { spsSusieDir, spsAppDir, spsCurrentDir, spsSystemDir, spsWindowsDir };

// A set of search options, one bit each (bit 0 = spsSusieDir).
class TSPISearchOptions {
public:
    constexpr TSPISearchOptions() = default;
    constexpr TSPISearchOptions(std::initializer_list<TSPISearchOption> options) {
        for (TSPISearchOption o : options)
            bits_ |= static_cast<std::uint8_t>(1u << o);
    }
    constexpr bool contains(TSPISearchOption o) const { return bits_ & (1u << o); }
    constexpr std::uint8_t bits() const { return bits_; }
    constexpr bool operator==(const TSPISearchOptions&) const = default;

private:
    std::uint8_t bits_ = 0;
};

using TSPISearchingEvent =
    std::function<void(TSPIs& Sender, const std::string& FileName, bool& Accept)>;
using TSPISearchEvent = std::function<void(TSPIs& Sender, TSPI& ASPI, bool& Accept)>;
using TSPIPictureRegisterEvent =
    std::function<void(TSPIs& Sender, TInSPI& ASPI, const std::string& AExtension,
                       const std::string& ADescription, const TGraphicClass*& AGraphicClass)>;

class TSPIs : public QObject {
    Q_OBJECT
public:
    // ESPIDupCreateSPIs "TSPIs は複数生成できません" when a manager exists.
    explicit TSPIs(QObject* owner = nullptr);
    ~TSPIs() override;

    // Settings (see the table of the manager's properties in the README).
    bool MacBinary = true;
    bool GraphicPreview = false;
    TInSPI* GraphicForcedLoader = nullptr;
    bool AutoSearch = true;
    TSPISearchOptions SearchOptions{spsSusieDir, spsAppDir};
    // How long a plug-in call in the decoding helper may go without a sign of life.
    std::chrono::milliseconds Timeout{30000};

    TSPISearchEvent OnSearch;
    TSPISearchingEvent OnSearching;
    TSPIPictureRegisterEvent OnPictureRegister;

    // Call once the settings are made, as the window's stored form would: searches
    // "*.spi" when AutoSearch is set.
    void Loaded();

    int Count() const { return static_cast<int>(items_.size()); }
    TSPI* Items(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
    void Add(std::unique_ptr<TSPI> spi) { Insert(Count(), std::move(spi)); }
    // Takes ownership and registers the formats of an import filter.
    void Insert(int index, std::unique_ptr<TSPI> spi);
    // Neither removes formats already registered.
    void Delete(int index);
    void Clear();
    // First plug-in whose FileName equals the name, ignoring ASCII case; -1 when none.
    int IndexOf(const std::string& fileName) const;

    // With a folder in the mask only that folder, else the folders of SearchOptions.
    void Search(const std::string& fileMask);
    // Appends to target the loaded plug-ins of the classes, those that declare the
    // file's extension first (the latest first), then the others in load order.
    void GetSPIList(const std::vector<const TSPIClass*>& classes, std::vector<TSPI*>& target,
                    const std::string& fileName) const;

    // A plug-in of the kind its API version names, or null when it does not load.
    static std::unique_ptr<TSPI> CreateSPI(const std::string& fileName);
    static void SetDefaultGraphicClass(const TGraphicClass* graphicClass);
    static const TGraphicClass* DefaultGraphicClass();

private:
    void SearchFolder(const std::string& folder, const std::string& mask);
    void RegisterFormats(TInSPI& spi);

    std::vector<std::unique_ptr<TSPI>> items_;
    bool isInstance_ = false;
};

// The manager, or null.
TSPIs* GetSPIs();

} // namespace kelvora
