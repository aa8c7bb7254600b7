#pragma once
// Pictures read through plug-ins.
//
// TSPIBitmap is the picture class registered for every extension an import
// filter declares; after loading it is an ordinary bitmap. It decodes through a
// TSPIGraphic, which offers the data to the loaded import filters one after
// another (those that declare the extension first), at offset 0 and, for
// MacBinary files, at 128, until one returns a device-independent bitmap.
// TInSPIAbleFromFile and TInSPIAbleFromStream present a file or data in memory
// in the two input forms of the plug-in interface.
//
// The plug-ins' calls run in a helper process (decoder_process.h), one per
// load; what comes back is checked (dib_layout.h) before it is used, so a
// plug-in that crashes, hangs or returns a header its blocks do not match
// counts as one that could not read the file. A file that cannot be opened
// for reading as a regular file (missing, unreadable, a folder, a FIFO) is
// refused with "ファイル %s は開けません" before any plug-in is asked.
//
// Threading: a load touches only its own objects and reads the manager's
// settings and list, so pictures may load on several threads at once. Progress
// events come on the loading thread.
#include "base/bitmap.h"
#include "kelvora/susie.h"
#include "spi/decoder_process.h"
#include "spi/dib_layout.h"
#include "spi/local_block.h"

#include <istream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kelvora {

class TInSPI;
class TSPIGraphic;

class TInSPIAbleData {
public:
    virtual ~TInSPIAbleData();
    TInSPIAbleData(const TInSPIAbleData&) = delete;
    TInSPIAbleData& operator=(const TInSPIAbleData&) = delete;

    LocalBlock InfoHandle;
    LocalBlock BitsHandle;
    const std::string FileName;
    PictureInfo PicInfo{};
    TSPIGraphic* const Graphic;
    TProgressEvent OnProgress;
    bool PictureInfoOK = false; // written, never read
    // This load asks each plug-in for its preview first, whatever the manager's
    // GraphicPreview says; FromPreview tells whether the picture is a preview.
    bool PreviewWanted = false;
    bool FromPreview = false;

    // Offers the data to the candidates until one decodes it.
    void Load();
    // Frees the blocks (and the text of PicInfo); everything becomes null.
    void Release();
    bool IsEmpty() const { return !InfoHandle || !BitsHandle; }
    // The blocks, locked on first use and kept locked until Release.
    const void* InfoPointer();
    const void* BitsPointer();
    // Hands the bits block over to the caller; the data is empty then.
    LocalBlock TakeBits();
    // The checked layout of the decoded picture (set while not IsEmpty).
    const std::optional<TDibLayout>& Layout() const { return layout_; }

    // Copies up to length bytes from the start of the data; errors leave the buffer.
    virtual void ReadHeader(char* buffer, std::size_t length) = 0;
    void GetPictureInfo(TInSPI& spi, int offset);
    void GetPreview(TInSPI& spi, int offset);
    void GetPicture(TInSPI& spi, int offset);

    // The callback handed to plug-ins: data is the TInSPIAbleData of the call.
    static int ProgressCallback(std::int32_t done, std::int32_t total, TInSPIAbleData* data);

protected:
    TInSPIAbleData(TSPIGraphic* graphic, std::string fileName);
    virtual TSPIDecoderProcess::Input DecoderInput() const = 0;

private:
    void DoProgress(TProgressStage stage, int percent, const QString& message);
    std::vector<TInSPI*> GetCandidates() const;
    void TryPlugin(TInSPI& spi, const std::string& header, int offset);
    void Decode(TInSPI& spi, int offset, bool preview);
    TSPIDecoderProcess& Decoder();

    std::string header_;
    std::unique_ptr<TSPIDecoderProcess> decoder_;
    std::set<const TInSPI*> failed_; // crashed or hung during this load: not asked again
    void* infoLocked_ = nullptr;
    void* bitsLocked_ = nullptr;
    std::optional<TDibLayout> layout_;
};

// The file form: plug-ins get the file name and the offset.
class TInSPIAbleFromFile : public TInSPIAbleData {
public:
    TInSPIAbleFromFile(TSPIGraphic* graphic, std::string fileName);
    void ReadHeader(char* buffer, std::size_t length) override;

protected:
    TSPIDecoderProcess::Input DecoderInput() const override;
};

// The memory form: plug-ins get the data. A memory block is used in place; a
// stream is read whole, from its first byte, into a block of its own.
class TInSPIAbleFromStream : public TInSPIAbleData {
public:
    TInSPIAbleFromStream(TSPIGraphic* graphic, std::string fileName, std::istream& stream);
    TInSPIAbleFromStream(TSPIGraphic* graphic, std::string fileName, std::string_view memory);
    void ReadHeader(char* buffer, std::size_t length) override;

protected:
    TSPIDecoderProcess::Input DecoderInput() const override;

private:
    std::string owned_;
    std::string_view data_;
};

class TSPIGraphic : public TGraphic {
public:
    TSPIGraphic() = default;
    ~TSPIGraphic() override;

    static const TGraphicClass& classInfo();
    const TGraphicClass& graphicClass() const override { return classInfo(); }

    int width() const override;
    int height() const override;
    bool empty() const override { return !data_; }
    void draw(QPainter& painter, const QRect& rect) override;
    QImage image() override;
    QList<QRgb> palette() const override;

    void loadFromFile(const std::string& fileName) override;
    void loadFromStream(std::istream& in) override { LoadFromStreamWithName(in, {}); }
    // A bitmap file of the decoded picture; nothing for an empty graphic.
    void saveToStream(std::ostream& out) override;
    virtual void LoadFromStreamWithName(std::istream& in, const std::string& fileName);
    void LoadFromMemoryWithName(std::string_view data, const std::string& fileName);

    void ReleaseData();
    // Loads that follow ask the plug-ins for their preview (a picture's embedded
    // thumbnail) first, as the manager's GraphicPreview does for every load.
    bool PreviewWanted = false;
    // The bitmap file of saveToStream as bytes.
    std::string BmpBytes();
    // The picture straight from the rows, for the layouts the bitmap reader takes
    // over unchanged (24 bits; 32 bits with red, green, blue and alpha masks in the
    // usual places and some alpha); null for every other layout. Saves writing and
    // reading a bitmap file of the photographs plug-ins mostly return. With
    // `adopt`, top-down rows are not even copied: the picture takes over the bits
    // block, and the graphic is empty afterwards.
    QImage DirectImage(bool adopt = false);

    // What UpdateInfo worked out from the header.
    int ColorCount();
    std::size_t HeaderSize();
    std::size_t ImageSize();
    bool KeepPalette();
    TInSPIAbleData* Data() const { return data_.get(); }

private:
    void Decode();
    void UpdateInfo();

    std::unique_ptr<TInSPIAbleData> data_;
    int width_ = 0;
    int height_ = 0;
    QList<QRgb> palette_;
    std::size_t headerSize_ = 0;
    std::size_t imageSize_ = 0;
    int colorCount_ = 0;
    bool keepPalette_ = false;
    bool infoValid_ = false;
    QImage image_; // the decoded picture as drawn, made on first use
};

class TSPIBitmap : public TBitmap {
public:
    TSPIBitmap() = default;

    static const TGraphicClass& classInfo();
    const TGraphicClass& graphicClass() const override { return classInfo(); }

    void assign(const TGraphic& source) override;
    void loadFromFile(const std::string& fileName) override;
    void loadFromStream(std::istream& in) override { LoadFromStreamWithName(in, {}); }

    // "Susie Plugins could not decode" for none; takes the picture of a graphic.
    virtual void AssignLoadedGraphic(std::unique_ptr<TGraphic> graphic);
    virtual void LoadFromStreamWithName(std::istream& in, const std::string& fileName);

    // Reading the event yields this bitmap's LoadFromStreamWithName; writing it does nothing.
    using TSPILoadFromStreamWithNameEvent =
        std::function<void(std::istream& Stream, const std::string& FileName)>;
    TSPILoadFromStreamWithNameEvent OnLoadFromStreamWithName() {
        return
            [this](std::istream& in, const std::string& name) { LoadFromStreamWithName(in, name); };
    }
    void SetOnLoadFromStreamWithName(const TSPILoadFromStreamWithNameEvent&) {}

private:
    template <class LoadWith, class Check>
    void LoadThroughClasses(const std::string& fileName, LoadWith load, Check check);
    void ForwardProgress(TGraphic& sender, TProgressStage stage, int percent, bool redrawNow,
                         const QRect& rect, const QString& message);
};

// Program start: formats register with TSPIBitmap. Program end: its formats go.
void InitSPIBitmap();
void FinalizeSPIBitmap();

} // namespace kelvora
