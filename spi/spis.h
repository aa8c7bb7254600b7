#pragma once
// The plug-in manager TSPIs and the plug-in kinds TSPI, TLoaderSPI, TInSPI,
// TAmSPI and TXnSPI.
//
// The manager finds Susie plug-ins ("*.spi" shared objects, kelvora/susie.h),
// makes each one the kind its API version names, keeps them in load order,
// registers the formats of every import filter with the picture loader (the
// latest registration of an extension wins) and drops them when destroyed.
// There is one manager per program (GetSPIs); a second one is refused.
//
// No library is loaded into the program: each is listed in the decoding
// helper (plugin_lister.h), and a TSPI keeps what the listing reported, its
// entry points and information texts; pictures are decoded in the helper too
// (spi_bitmap.h). A library that crashes or hangs while being listed is
// remembered (unresponsive_plugins.h): at the next search it is not listed
// again until it changes, and stands in the list as a plain TSPI whose about
// text says why. A folder's libraries are listed in one helper.
//
// Threading: search, Add, Insert, Delete and Clear run on the GUI thread, at
// start and at the end. Once the search is over the list is only read, so
// picture loads on worker threads may use it (spi_bitmap.h); the instance
// pointer is atomic.
#include "base/graphic.h"
#include "base/stringlist.h"
#include "kelvora/susie.h"
#include "spi/decoder_process.h"
#include "spi/spi_errors.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kelvora {

class TSPI;
class TInSPI;
class TSPIs;
class TSPILister;
class TUnresponsivePlugins;
struct TSPIListing;

// Run-time class of a plug-in kind: creation by a class chosen at run time,
// and the "is an instance of" test of GetSPIList.
struct TSPIClass {
    const char* name;
    const TSPIClass* parent;
    std::unique_ptr<TSPI> (*create)(const TSPIListing& listing);

    bool inheritsFrom(const TSPIClass& other) const;
};

class TSPI {
public:
    virtual ~TSPI();
    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;

    static const TSPIClass& classInfo();
    virtual const TSPIClass& spiClass() const { return classInfo(); }

    // Lists the library in the helper and keeps what it reported; ESPIFOpenErrorSPI
    // when it does not load or crashes or hangs being listed, ESPIInvalidAPI when
    // GetPluginInfo is missing.
    static std::unique_ptr<TSPI> Create(const std::string& fileName);
    // Stands for a library that crashed or hung while being listed: no entry points,
    // no formats, the about text "応答しないため読み込みませんでした".
    static std::unique_ptr<TSPI> Unresponsive(const std::string& fileName);

    const std::string& FileName() const { return fileName_; }
    const std::string& APIVersion() const { return apiVersion_; }
    const std::string& About() const { return about_; }
    const TStringList& Extensions() const { return extensions_; }
    const TStringList& FormatNames() const { return formatNames_; }
    // The answer of CanLoadKind at creation.
    bool CanLoad() const { return canLoad_; }

    // ESPIInvalidAPI when the library lacks GetPluginInfo; else what it answered for
    // the number when it was listed (the text cut to buflen - 1 bytes), 0 for a
    // number it was not asked.
    std::int32_t GetPluginInfo(std::int32_t infono, char* buf, std::int32_t buflen) const;

    bool HasEntry(const char* name) const;
    // Raises ESPIInvalidAPI for the entry point unless the library exports it.
    void RequireEntry(const char* name) const;

protected:
    TSPI() = default;
    // Creation on a fresh object of the final kind.
    void Init(const TSPIListing& listing);
    // Requires the kind's entry points in order; the first missing one raises.
    virtual void CheckAPI() const;
    virtual bool CanLoadKind() const { return false; }

    template <class T> static std::unique_ptr<TSPI> make(const TSPIListing& listing) {
        std::unique_ptr<TSPI> spi(new T);
        spi->Init(listing);
        return spi;
    }

private:
    std::string infoText(std::size_t number) const;

    std::string fileName_;
    std::string apiVersion_;
    std::string about_;
    TStringList extensions_;
    TStringList formatNames_;
    bool canLoad_ = false;
    std::uint16_t entries_ = 0; // bit i: spidecoder::kEntryNames[i]
    std::vector<std::pair<std::int32_t, std::string>> info_;
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
    // How long a plug-in call in the decoding helper may go without a sign of life,
    // and how long all the calls of one picture may take together.
    std::chrono::milliseconds Timeout{TSPIDecoderProcess::kDefaultTimeout};
    std::chrono::milliseconds TotalTimeout{TSPIDecoderProcess::kDefaultTotalTimeout};

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

    // A plug-in of the kind its API version names, or null when it does not load
    // (or crashes or hangs being listed).
    static std::unique_ptr<TSPI> CreateSPI(const std::string& fileName);
    static void SetDefaultGraphicClass(const TGraphicClass* graphicClass);
    static const TGraphicClass* DefaultGraphicClass();

private:
    void SearchFolder(const std::string& folder, const std::string& mask);
    // CreateSPI through the folder's lister, with the memory of unresponsive libraries.
    static std::unique_ptr<TSPI> CreateListed(const std::string& fileName, TSPILister& lister,
                                              TUnresponsivePlugins* unresponsive);
    void RegisterFormats(TInSPI& spi);

    std::vector<std::unique_ptr<TSPI>> items_;
    bool isInstance_ = false;
};

// The manager, or null.
TSPIs* GetSPIs();

} // namespace kelvora
