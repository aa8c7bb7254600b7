#include "spi/spi_bitmap.h"

#include "base/bmp_codec.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/picture.h"
#include "base/unique_fd.h"
#include "spi/decoder/decoder_protocol.h"
#include "spi/spi_texts.h"
#include "spi/spis.h"

#include <QPainter>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <unistd.h>
#include <utility>

namespace kelvora {
namespace {

// Windows' MulDiv: a * b / c rounded half away from zero; -1 when c is 0 or the
// result does not fit.
int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const long long product = static_cast<long long>(a) * b;
    long long quotient = product / c;
    const long long remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(c)))
        quotient += (product < 0) != (c < 0) ? -1 : 1;
    return quotient > INT_MAX || quotient < INT_MIN ? -1 : static_cast<int>(quotient);
}

std::chrono::milliseconds callTimeout() {
    const TSPIs* manager = GetSPIs();
    return manager ? manager->Timeout : TSPIDecoderProcess::kDefaultTimeout;
}

std::chrono::milliseconds totalTimeout() {
    const TSPIs* manager = GetSPIs();
    return manager ? manager->TotalTimeout : TSPIDecoderProcess::kDefaultTotalTimeout;
}

// EFOpenError "ファイル %s は開けません" unless the name is a regular file that can be
// read: plug-ins would only fail on it, each after its own wait (or for ever, on a
// FIFO), and the user would learn nothing of the reason.
void requireReadableFile(const std::string& fileName) {
    UniqueFd(openDescriptorForReading(fileName));
}

std::string fileNamePart(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

std::string upperExtension(const std::string& fileName) {
    const auto pos = fileName.find_last_of("./");
    if (pos == std::string::npos || fileName[pos] != '.')
        return {};
    std::string ext = fileName.substr(pos);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return ext;
}

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

} // namespace

// ---- TInSPIAbleData

TInSPIAbleData::TInSPIAbleData(TSPIGraphic* graphic, std::string fileName)
    : FileName(std::move(fileName)), Graphic(graphic) {}

TInSPIAbleData::~TInSPIAbleData() {
    Release();
}

void TInSPIAbleData::Release() {
    if (infoLocked_)
        LocalUnlock(InfoHandle.get());
    if (bitsLocked_)
        LocalUnlock(BitsHandle.get());
    infoLocked_ = bitsLocked_ = nullptr;
    InfoHandle.reset();
    BitsHandle.reset();
    // The record is the plug-in interface's own: its text stays a plain handle.
    LocalFree(PicInfo.hInfo);
    PicInfo.hInfo = nullptr;
    layout_.reset();
}

const void* TInSPIAbleData::InfoPointer() {
    if (!infoLocked_ && InfoHandle)
        infoLocked_ = LocalLock(InfoHandle.get());
    return infoLocked_;
}

LocalBlock TInSPIAbleData::TakeBits() {
    if (bitsLocked_)
        LocalUnlock(BitsHandle.get());
    bitsLocked_ = nullptr;
    return std::move(BitsHandle);
}

const void* TInSPIAbleData::BitsPointer() {
    if (!bitsLocked_ && BitsHandle)
        bitsLocked_ = LocalLock(BitsHandle.get());
    return bitsLocked_;
}

void TInSPIAbleData::DoProgress(TProgressStage stage, int percent, const QString& message) {
    if (OnProgress)
        OnProgress(*Graphic, stage, percent, stage == TProgressStage::psEnding, QRect(0, 0, 0, 0),
                   message);
}

int TInSPIAbleData::ProgressCallback(std::int32_t done, std::int32_t total, TInSPIAbleData* data) {
    if (!data || !data->OnProgress)
        return 0;
    try {
        // Kept in a byte, as the event's percentage is.
        const auto percent = static_cast<std::uint8_t>(MulDiv(done, 97, total) + 2);
        data->DoProgress(TProgressStage::psRunning, percent, QString());
    } catch (const EAbort&) {
        return 1;
    }
    return 0;
}

TSPIDecoderProcess& TInSPIAbleData::Decoder() {
    if (!decoder_) {
        TSPIDecoderProcess::Input input = DecoderInput();
        input.header = header_;
        decoder_ = std::make_unique<TSPIDecoderProcess>(input, callTimeout(), totalTimeout());
    }
    return *decoder_;
}

std::vector<TInSPI*> TInSPIAbleData::GetCandidates() const {
    const TSPIs* manager = GetSPIs();
    if (!manager)
        return {};
    if (manager->GraphicForcedLoader)
        return {manager->GraphicForcedLoader};
    std::vector<TSPI*> list;
    manager->GetSPIList({&TInSPI::classInfo()}, list, FileName);
    std::vector<TInSPI*> candidates;
    for (TSPI* spi : list)
        candidates.push_back(static_cast<TInSPI*>(spi));
    return candidates;
}

void TInSPIAbleData::Load() {
    const TSPIs* manager = GetSPIs();
    const bool secondOffset = manager && manager->MacBinary;
    DoProgress(TProgressStage::psStarting, 0, SPITexts::Text(SPITexts::SLoadingBySpi));
    try {
        Release();
        DoProgress(TProgressStage::psRunning, 1, SPITexts::Text(SPITexts::SSeekingPlugins));
        const std::vector<TInSPI*> candidates = GetCandidates();
        header_.assign(spidecoder::kHeaderSize, '\0');
        ReadHeader(header_.data(), header_.size());
        bool done = false;
        for (TInSPI* spi : candidates) {
            for (int offset : {0, 128}) {
                if (offset == 128 && !secondOffset)
                    break;
                DoProgress(
                    TProgressStage::psRunning, 1,
                    SPITexts::Text(SPITexts::SLoadingBy).arg(toQ(fileNamePart(spi->FileName()))));
                TryPlugin(*spi, header_, offset);
                if (!IsEmpty()) {
                    done = true;
                    break;
                }
                Release();
            }
            if (done)
                break;
        }
    } catch (...) {
        DoProgress(TProgressStage::psEnding, 100, SPITexts::Text(SPITexts::SLoadedBySpi));
        decoder_.reset();
        throw;
    }
    decoder_.reset(); // the helper is not needed once the picture is here
    DoProgress(TProgressStage::psEnding, 100, SPITexts::Text(SPITexts::SLoadedBySpi));
}

void TInSPIAbleData::TryPlugin(TInSPI& spi, const std::string&, int offset) {
    if (failed_.count(&spi))
        return;
    try {
        spi.RequireEntry("IsSupported");
        if (Decoder().IsSupported(spi.FileName(), offset) == 0)
            return;
        GetPictureInfo(spi, offset);
        const TSPIs* manager = GetSPIs();
        FromPreview = false;
        if (PreviewWanted || (manager && manager->GraphicPreview)) {
            GetPreview(spi, offset);
            FromPreview = !IsEmpty();
            if (IsEmpty())
                GetPicture(spi, offset);
        } else {
            GetPicture(spi, offset);
        }
    } catch (const ESPIPluginFailed&) {
        // It crashed or hung on this data: the attempt failed, and it is not asked again.
        Release();
        failed_.insert(&spi);
    }
}

void TInSPIAbleData::GetPictureInfo(TInSPI& spi, int offset) {
    spi.RequireEntry("GetPictureInfo");
    LocalFree(PicInfo.hInfo);
    PicInfo = PictureInfo{};
    PictureInfoOK = Decoder().GetPictureInfo(spi.FileName(), offset, PicInfo) == 0;
}

void TInSPIAbleData::GetPreview(TInSPI& spi, int offset) {
    try {
        spi.RequireEntry("GetPreview");
    } catch (const ESPIInvalidAPI&) {
        InfoHandle.reset();
        BitsHandle.reset();
        return;
    }
    Decode(spi, offset, true);
}

void TInSPIAbleData::GetPicture(TInSPI& spi, int offset) {
    spi.RequireEntry("GetPicture");
    Decode(spi, offset, false);
}

void TInSPIAbleData::Decode(TInSPI& spi, int offset, bool preview) {
    LocalBlock info;
    LocalBlock bits;
    bool missing = false;
    const std::int32_t result = Decoder().GetPicture(
        spi.FileName(), offset, preview, info, bits,
        [this](std::int32_t done, std::int32_t total) {
            return ProgressCallback(done, total, this);
        },
        missing);
    // Only a picture whose header its blocks bear out is kept.
    std::optional<TDibLayout> layout;
    if (result == 0 && info && bits) {
        layout = CheckDib(LocalLock(info.get()), LocalSize(info.get()), LocalSize(bits.get()));
        LocalUnlock(info.get());
    }
    Release();
    if (layout) {
        InfoHandle = std::move(info);
        BitsHandle = std::move(bits);
        layout_ = layout;
    }
}

// ---- the two forms

TInSPIAbleFromFile::TInSPIAbleFromFile(TSPIGraphic* graphic, std::string fileName)
    : TInSPIAbleData(graphic, std::move(fileName)) {}

void TInSPIAbleFromFile::ReadHeader(char* buffer, std::size_t length) {
    try {
        const UniqueFd in(openDescriptorForReading(FileName));
        for (std::size_t done = 0; done < length;) {
            const ssize_t n = ::read(in.get(), buffer + done, length - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
    } catch (const EFOpenError&) {
        // The plug-ins are asked with what could be read.
    }
}

TSPIDecoderProcess::Input TInSPIAbleFromFile::DecoderInput() const {
    return {FileName, false, {}, {}};
}

TInSPIAbleFromStream::TInSPIAbleFromStream(TSPIGraphic* graphic, std::string fileName,
                                           std::istream& stream)
    : TInSPIAbleData(graphic, std::move(fileName)) {
    stream.clear();
    stream.seekg(0);
    owned_.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    data_ = owned_;
}

TInSPIAbleFromStream::TInSPIAbleFromStream(TSPIGraphic* graphic, std::string fileName,
                                           std::string_view memory)
    : TInSPIAbleData(graphic, std::move(fileName)), data_(memory) {}

void TInSPIAbleFromStream::ReadHeader(char* buffer, std::size_t length) {
    std::memcpy(buffer, data_.data(), std::min(length, data_.size()));
}

TSPIDecoderProcess::Input TInSPIAbleFromStream::DecoderInput() const {
    return {FileName, true, data_, {}};
}

// ---- TSPIGraphic

const TGraphicClass& TSPIGraphic::classInfo() {
    static const TGraphicClass info{"TSPIGraphic", &TGraphic::classInfo(),
                                    [] { return std::make_unique<TSPIGraphic>(); }};
    return info;
}

TSPIGraphic::~TSPIGraphic() {
    ReleaseData();
}

void TSPIGraphic::ReleaseData() {
    data_.reset();
    palette_.clear();
    image_ = QImage();
    infoValid_ = false;
}

void TSPIGraphic::UpdateInfo() {
    if (infoValid_)
        return;
    infoValid_ = true;
    if (!data_ || data_->IsEmpty() || !data_->Layout()) {
        width_ = height_ = colorCount_ = 0;
        headerSize_ = imageSize_ = 0;
        palette_.clear();
        keepPalette_ = false;
        return;
    }
    const TDibLayout& d = *data_->Layout();
    colorCount_ = static_cast<int>(d.colorCount);
    imageSize_ = d.imageSize;
    width_ = d.width;
    height_ = d.height;
    headerSize_ = d.headerSize;
    keepPalette_ = d.bitCount == 4;
    palette_.clear();
    const auto* table =
        static_cast<const unsigned char*>(data_->InfoPointer()) + (d.headerSize - 4 * d.colorCount);
    for (std::uint32_t i = 0; i < d.colorCount; ++i)
        palette_.append(qRgb(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
}

int TSPIGraphic::width() const {
    const_cast<TSPIGraphic*>(this)->UpdateInfo();
    return width_;
}
int TSPIGraphic::height() const {
    const_cast<TSPIGraphic*>(this)->UpdateInfo();
    return height_;
}
QList<QRgb> TSPIGraphic::palette() const {
    const_cast<TSPIGraphic*>(this)->UpdateInfo();
    return palette_;
}
int TSPIGraphic::ColorCount() {
    UpdateInfo();
    return colorCount_;
}
std::size_t TSPIGraphic::HeaderSize() {
    UpdateInfo();
    return headerSize_;
}
std::size_t TSPIGraphic::ImageSize() {
    UpdateInfo();
    return imageSize_;
}
bool TSPIGraphic::KeepPalette() {
    UpdateInfo();
    return keepPalette_;
}

std::string TSPIGraphic::BmpBytes() {
    UpdateInfo();
    if (!data_ || data_->IsEmpty())
        return {};
    std::string out;
    out.reserve(14 + headerSize_ + imageSize_);
    out += "BM";
    put32(out, static_cast<std::uint32_t>(14 + headerSize_ + imageSize_));
    put16(out, 0);
    put16(out, 0);
    put32(out, static_cast<std::uint32_t>(14 + headerSize_));
    out.append(static_cast<const char*>(data_->InfoPointer()), headerSize_);
    out.append(static_cast<const char*>(data_->BitsPointer()), imageSize_);
    return out;
}

void TSPIGraphic::saveToStream(std::ostream& out) {
    const std::string bytes = BmpBytes();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

QImage TSPIGraphic::DirectImage(bool adopt) {
    UpdateInfo();
    if (!data_ || data_->IsEmpty() || !data_->Layout())
        return {};
    const TDibLayout& d = *data_->Layout();
    const auto* info = static_cast<const unsigned char*>(data_->InfoPointer());
    QImage::Format format;
    if (d.bitCount == 24 && d.compression == BI_RGB && d.colorCount == 0) {
        format = QImage::Format_BGR888;
    } else if (d.bitCount == 32 && d.compression == BI_ALPHABITFIELDS && d.colorCount == 0 &&
               d.headerSize == 56) {
        const std::uint32_t usual[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
        if (std::memcmp(info + 40, usual, sizeof usual) != 0)
            return {};
        format = QImage::Format_ARGB32;
    } else {
        return {};
    }
    const int height = std::abs(d.height);
    const std::size_t stride = d.imageSize / static_cast<std::size_t>(height);
    const auto* rows = static_cast<const unsigned char*>(data_->BitsPointer());
    if (format == QImage::Format_ARGB32) {
        // Alpha 0 everywhere means no alpha at all to the bitmap reader.
        bool alpha = false;
        for (std::size_t i = 3; i < d.imageSize && !alpha; i += 4)
            alpha = rows[i] != 0;
        if (!alpha)
            return {};
    }
    if (adopt && d.height < 0) {
        // The rows are already in the picture's order and padding: the block becomes the picture.
        LocalBlock bits = data_->TakeBits();
        QImage image(
            static_cast<uchar*>(bits.get()), d.width, height, static_cast<qsizetype>(stride),
            format, [](void* block) { LocalFree(block); }, bits.get());
        if (!image.isNull())
            bits.release(); // the picture frees it
        ReleaseData();
        return image;
    }
    QImage image = allocatePicture(d.width, height, format);
    const std::size_t rowBytes = static_cast<std::size_t>(d.width) * (d.bitCount / 8);
    for (int y = 0; y < height; ++y) {
        const int from =
            d.height < 0 ? y : height - 1 - y; // bottom-up unless the height is negative
        std::memcpy(image.scanLine(y), rows + static_cast<std::size_t>(from) * stride, rowBytes);
    }
    return image;
}

QImage TSPIGraphic::image() {
    if (image_.isNull() && data_ && !data_->IsEmpty()) {
        image_ = DirectImage();
        if (image_.isNull())
            image_ = decodeBmp(BmpBytes()).image;
    }
    return image_;
}

void TSPIGraphic::draw(QPainter& painter, const QRect& rect) {
    if (!data_)
        return;
    const QImage picture = image();
    if (!picture.isNull())
        painter.drawImage(rect, picture);
}

void TSPIGraphic::loadFromFile(const std::string& fileName) {
    ReleaseData();
    requireReadableFile(fileName);
    data_ = std::make_unique<TInSPIAbleFromFile>(this, fileName);
    Decode();
}

void TSPIGraphic::LoadFromStreamWithName(std::istream& in, const std::string& fileName) {
    ReleaseData();
    data_ = std::make_unique<TInSPIAbleFromStream>(this, fileName, in);
    Decode();
}

void TSPIGraphic::LoadFromMemoryWithName(std::string_view data, const std::string& fileName) {
    ReleaseData();
    data_ = std::make_unique<TInSPIAbleFromStream>(this, fileName, data);
    Decode();
}

void TSPIGraphic::Decode() {
    try {
        data_->OnProgress = onProgress;
        data_->PreviewWanted = PreviewWanted;
        data_->Load();
        if (data_->IsEmpty())
            throw EInvalidGraphic(SPITexts::Text(SPITexts::SCouldNotDecode));
    } catch (...) {
        ReleaseData();
        throw;
    }
}

// ---- TSPIBitmap

const TGraphicClass& TSPIBitmap::classInfo() {
    static const TGraphicClass info{"TSPIBitmap", &TBitmap::classInfo(),
                                    [] { return std::make_unique<TSPIBitmap>(); }};
    return info;
}

void TSPIBitmap::ForwardProgress(TGraphic&, TProgressStage stage, int percent, bool redrawNow,
                                 const QRect& rect, const QString& message) {
    // The end is reported once, by this bitmap, with its size.
    if (stage != TProgressStage::psEnding)
        progress(stage, percent, redrawNow, rect, message);
}

template <class LoadWith, class Check>
void TSPIBitmap::LoadThroughClasses(const std::string& fileName, LoadWith load, Check check) {
    const bool bitmapFirst = upperExtension(fileName) == ".BMP";
    try {
        // An error of the data itself goes to the user, whichever class would read it.
        check();
        std::unique_ptr<TGraphic> loaded;
        for (int attempt = 0; attempt < 2 && !loaded; ++attempt) {
            const bool plainBitmap = (attempt == 0) == bitmapFirst;
            std::unique_ptr<TGraphic> graphic;
            if (plainBitmap)
                graphic = std::make_unique<TBitmap>();
            else
                graphic = std::make_unique<TSPIGraphic>();
            graphic->onProgress = [this](TGraphic& sender, TProgressStage stage, int percent,
                                         bool redrawNow, const QRect& rect,
                                         const QString& message) {
                ForwardProgress(sender, stage, percent, redrawNow, rect, message);
            };
            try {
                load(*graphic, plainBitmap, attempt);
                loaded = std::move(graphic);
            } catch (...) {
                // Each class's own error is dropped; the next class is tried.
            }
        }
        AssignLoadedGraphic(std::move(loaded));
    } catch (...) {
        progress(TProgressStage::psEnding, 100, true, QRect(0, 0, width(), height()),
                 SPITexts::Text(SPITexts::SLoaded));
        throw;
    }
    progress(TProgressStage::psEnding, 100, true, QRect(0, 0, width(), height()),
             SPITexts::Text(SPITexts::SLoaded));
}

void TSPIBitmap::loadFromFile(const std::string& fileName) {
    LoadThroughClasses(
        fileName, [&](TGraphic& graphic, bool, int) { graphic.loadFromFile(fileName); },
        [&] { requireReadableFile(fileName); });
}

void TSPIBitmap::LoadFromStreamWithName(std::istream& in, const std::string& fileName) {
    in.clear();
    const std::streampos start = in.tellg();
    LoadThroughClasses(
        fileName,
        [&](TGraphic& graphic, bool plainBitmap, int attempt) {
            if (attempt > 0) {
                in.clear();
                in.seekg(start);
            }
            if (plainBitmap)
                graphic.loadFromStream(in);
            else
                static_cast<TSPIGraphic&>(graphic).LoadFromStreamWithName(in, fileName);
        },
        [] {});
}

void TSPIBitmap::AssignLoadedGraphic(std::unique_ptr<TGraphic> graphic) {
    if (!graphic)
        throw EInvalidGraphic(SPITexts::Text(SPITexts::SCouldNotDecode));
    if (auto* spi = dynamic_cast<TSPIGraphic*>(graphic.get())) {
        // The same bitmap as through a bitmap file, without writing and reading one.
        if (QImage direct = spi->DirectImage(true); !direct.isNull()) {
            spi->ReleaseData();
            const TPixelFormat format = direct.format() == QImage::Format_BGR888
                                            ? TPixelFormat::pf24bit
                                            : TPixelFormat::pf32bit;
            setImage(std::move(direct), format);
            return;
        }
        const std::optional<QList<QRgb>> palette =
            spi->KeepPalette() ? std::optional(spi->palette()) : std::nullopt;
        std::string bytes = spi->BmpBytes();
        // At most the bitmap file and the picture exist at once.
        spi->ReleaseData();
        TBitmap converted;
        converted.loadFromBytes(bytes);
        bytes = std::string();
        TBitmap::assign(converted);
        if (palette)
            setPalette(*palette);
        return;
    }
    TBitmap::assign(*graphic);
}

void TSPIBitmap::assign(const TGraphic& source) {
    auto* spi = dynamic_cast<TSPIGraphic*>(const_cast<TGraphic*>(&source));
    if (!spi) {
        TBitmap::assign(source);
        return;
    }
    if (spi->empty()) {
        TBitmap::assign(TBitmap());
        return;
    }
    TBitmap converted;
    converted.loadFromBytes(spi->BmpBytes());
    TBitmap::assign(converted);
    if (spi->KeepPalette())
        setPalette(spi->palette());
}

void InitSPIBitmap() {
    TSPIs::SetDefaultGraphicClass(&TSPIBitmap::classInfo());
}

void FinalizeSPIBitmap() {
    TPicture::unregisterGraphicClass(TSPIBitmap::classInfo());
}

} // namespace kelvora
