#include "jpeg/jpeg_decode.h"

#include "base/base_texts.h"
#include "base/bitmap.h"
#include "base/errors.h"
#include "jpeg/exif_orientation.h"
#include "jpeg/jpeg_codec.h"
#include "jpeg/jpeg_texts.h"

#include <algorithm>

namespace kelvora {
namespace {
using jpegcodec::Decompressor;
using jpegcodec::Output;
using jpegcodec::OutputPlan;

// Rows handed to libjpeg per read call; it fills as many as one pass step gives.
constexpr JDIMENSION kRowsPerCall = 16;
constexpr int kQuantisedColours = 236;

unsigned scaleDenominator(TJPEGScale scale) {
    return 1u << static_cast<unsigned>(scale);
}

const QList<QRgb>& greyPalette() {
    static const QList<QRgb> palette = [] {
        QList<QRgb> p(256);
        for (int i = 0; i < 256; ++i)
            p[i] = qRgb(i, i, i);
        return p;
    }();
    return palette;
}

inline uchar mul255(int a, int b) {
    return static_cast<uchar>((a * b + 127) / 255);
}

// cmy and k as "light" values (255 = no ink), the way Adobe applications store them.
inline void lightCmykToRgb(const JSAMPLE* in, bool adobe, int& r, int& g, int& b) {
    int c = in[0], m = in[1], y = in[2], k = in[3];
    if (!adobe) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    r = mul255(c, k);
    g = mul255(m, k);
    b = mul255(y, k);
}

void cmykToBgr(const JSAMPLE* in, uchar* out, JDIMENSION width, bool adobe, int bytes) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += bytes) {
        int r, g, b;
        lightCmykToRgb(in, adobe, r, g, b);
        out[0] = static_cast<uchar>(b);
        out[1] = static_cast<uchar>(g);
        out[2] = static_cast<uchar>(r);
        if (bytes == 4)
            out[3] = 255;
    }
}

void cmykToGrey(const JSAMPLE* in, uchar* out, JDIMENSION width, bool adobe) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        int r, g, b;
        lightCmykToRgb(in, adobe, r, g, b);
        out[x] = static_cast<uchar>((r * 77 + g * 150 + b * 29 + 128) >> 8);
    }
}

void convertCmyk(const OutputPlan& plan, const JSAMPLE* in, uchar* out, JDIMENSION width) {
    if (plan.cmykToGrey)
        cmykToGrey(in, out, width, plan.adobeCmyk);
    else
        cmykToBgr(in, out, width, plan.adobeCmyk, plan.colourBytes);
}

J_DCT_METHOD finalDctMethod(const JpegDecodeSettings& settings) {
    return settings.performance == TJPEGPerformance::jpBestSpeed ? JDCT_IFAST : JDCT_FLOAT;
}

// Sets libjpeg's output parameters for the settings, once the header is read.
OutputPlan configure(jpeg_decompress_struct& info, const JpegDecodeSettings& settings) {
    const bool fast = settings.performance == TJPEGPerformance::jpBestSpeed;
    info.dct_method = finalDctMethod(settings);
    info.scale_num = 1;
    info.scale_denom = scaleDenominator(settings.scale);
    info.do_block_smoothing = settings.smoothing ? TRUE : FALSE;

    OutputPlan plan;
    const bool greySource = info.jpeg_color_space == JCS_GRAYSCALE;
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        // libjpeg gives CMYK as stored; the conversion to colour is ours.
        plan.output = Output::Cmyk;
        info.out_color_space = JCS_CMYK;
        plan.cmykToGrey = settings.grayscale;
        plan.adobeCmyk = info.saw_Adobe_marker != FALSE;
    } else if (settings.grayscale || greySource) {
        plan.output = Output::Grey;
        info.out_color_space = JCS_GRAYSCALE;
    } else if (settings.pixelFormat == TJPEGPixelFormat::jf8Bit) {
        plan.output = Output::Quantised;
        info.out_color_space = JCS_RGB; // the colour map then reads red, green, blue
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = kQuantisedColours;
        if (fast) {
            info.two_pass_quantize = FALSE;
            info.dither_mode = JDITHER_ORDERED;
        }
    } else {
        plan.output = Output::Bgr;
        // The bitmap's own row order; BGRA, unlike BGRX, has its fourth byte set to 255.
        info.out_color_space = settings.fourBytePixels ? JCS_EXT_BGRA : JCS_EXT_BGR;
    }
    if (settings.fourBytePixels)
        plan.colourBytes = 4;
    return plan;
}

JpegHeader headerOf(Decompressor& codec) {
    jpeg_decompress_struct& info = codec.info();
    JpegHeader header;
    header.width = static_cast<int>(info.image_width);
    header.height = static_cast<int>(info.image_height);
    header.grayscale = info.jpeg_color_space == JCS_GRAYSCALE;
    header.progressive = codec.hasMultipleScans();
    header.orientation = ExifOrientation(&info);
    return header;
}
} // namespace

JpegHeader readJpegHeader(std::string_view data) {
    Decompressor codec(data);
    codec.readHeader();
    return headerOf(codec);
}

QSize jpegOutputSize(std::string_view data, TJPEGScale scale) {
    Decompressor codec(data);
    codec.readHeader();
    codec.info().scale_num = 1;
    codec.info().scale_denom = scaleDenominator(scale);
    codec.calcOutputDimensions();
    return {static_cast<int>(codec.info().output_width),
            static_cast<int>(codec.info().output_height)};
}

JpegDecoder::JpegDecoder(std::string_view data, const JpegDecodeSettings& settings)
    : data_(data), settings_(settings) {}

QImage JpegDecoder::decode() {
    Decompressor codec(data_, kJpegMaxScans);
    codec.onProgress = [this, &codec](int percent) {
        report(percent, static_cast<int>(codec.info().output_scanline));
    };
    try {
        run(codec);
    } catch (...) {
        aborted_ = aborted_ || codec.aborted();
        if (aborted_)
            blankRowsNotReached();
        throw;
    }
    return image_;
}

void JpegDecoder::blankRowsNotReached() {
    for (int y = rowsReached_; y < image_.height(); ++y)
        std::fill_n(image_.scanLine(y), image_.bytesPerLine(), uchar(0));
}

void JpegDecoder::report(int percent, int row) {
    if (!onProgress)
        return;
    const QRect rows(0, reportedRow_, image_.width(), std::max(0, row - reportedRow_));
    reportedRow_ = std::max(reportedRow_, row);
    onProgress(percent, rows);
}

void JpegDecoder::run(Decompressor& codec) {
    jpeg_decompress_struct& info = codec.info();
    codec.readHeader();
    const J_DCT_METHOD finalDct = finalDctMethod(settings_);
    plan_ = configure(info, settings_);

    const bool passByPass = settings_.progressiveDisplay && codec.hasMultipleScans();
    if (passByPass) {
        info.buffered_image = TRUE;
        info.two_pass_quantize = FALSE; // a colour map that every pass can share
    }

    codec.calcOutputDimensions();
    const JDIMENSION width = info.output_width;
    const JDIMENSION height = info.output_height;
    checkPictureSize(width, height);

    const QImage::Format colour =
        plan_.colourBytes == 4 ? QImage::Format_RGB32 : QImage::Format_BGR888;
    image_ = QImage(static_cast<int>(width), static_cast<int>(height),
                    plan_.indexed() ? QImage::Format_Indexed8 : colour);
    if (image_.isNull())
        throw EOutOfResources(BaseTexts::Text(BaseTexts::SPictureMemory).arg(width).arg(height));
    if (plan_.output == Output::Grey || plan_.cmykToGrey)
        image_.setColorTable(greyPalette());
    if (plan_.output == Output::Cmyk)
        cmykRows_.assign(std::size_t(width) * 4 * kRowsPerCall, 0);

    codec.start();
    if (plan_.output == Output::Quantised) {
        QList<QRgb> palette(info.actual_number_of_colors);
        for (int i = 0; i < info.actual_number_of_colors; ++i)
            palette[i] = qRgb(info.colormap[0][i], info.colormap[1][i], info.colormap[2][i]);
        image_.setColorTable(palette);
    }

    if (passByPass) {
        // Every pass but the last with the fast inverse DCT; the last with the chosen one.
        for (;;) {
            const bool last = codec.inputComplete();
            info.dct_method = last ? finalDct : JDCT_IFAST;
            codec.startOutput(info.input_scan_number);
            readRows(codec);
            codec.finishOutput();
            if (last)
                break;
            if (onPass) {
                try {
                    onPass(image_);
                } catch (...) {
                    aborted_ = true;
                    throw;
                }
            }
        }
    } else {
        readRows(codec);
    }
    codec.finish();

    if (plan_.output == Output::Cmyk && !plan_.cmykToGrey &&
        settings_.pixelFormat == TJPEGPixelFormat::jf8Bit)
        image_ = image_.convertToFormat(QImage::Format_Indexed8);
}

// Reads one output pass straight into the picture's rows, top to bottom.
void JpegDecoder::readRows(Decompressor& codec) {
    jpeg_decompress_struct& info = codec.info();
    uchar* const bits = image_.bits();
    const auto stride = static_cast<std::size_t>(image_.bytesPerLine());
    const std::size_t cmykStride = std::size_t(info.output_width) * 4;
    const bool cmyk = plan_.output == Output::Cmyk;
    JSAMPROW rows[kRowsPerCall];
    reportedRow_ = 0;

    while (info.output_scanline < info.output_height) {
        const JDIMENSION y = info.output_scanline;
        const JDIMENSION count = std::min(kRowsPerCall, info.output_height - y);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = cmyk ? cmykRows_.data() + i * cmykStride : bits + (y + i) * stride;
        const JDIMENSION read = codec.readScanlines(rows, count);
        rowsReached_ = std::max(rowsReached_, static_cast<int>(y + read));
        if (cmyk) {
            for (JDIMENSION i = 0; i < read; ++i)
                convertCmyk(plan_, rows[i], bits + (y + i) * stride, info.output_width);
        }
        if (read == 0)
            break; // only a suspending source returns nothing, and ours never suspends
    }
}

// --- Row by row -----------------------------------------------------------------

bool JpegRowReader::canRead(const JpegDecodeSettings& settings) {
    return settings.pixelFormat == TJPEGPixelFormat::jf24Bit &&
           settings.scale == TJPEGScale::jsFullSize && !settings.progressiveDisplay &&
           !settings.fourBytePixels;
}

JpegRowReader::JpegRowReader(int fd, const JpegDecodeSettings& settings)
    : codec_(std::make_unique<Decompressor>(fd, kJpegMaxScans)) {
    codec_->readHeader();
    header_ = headerOf(*codec_);
    plan_ = configure(codec_->info(), settings);
    if (plan_.output == Output::Quantised)
        throw EInvalidGraphicOperation(JpegTexts::Text(JpegTexts::SRowsOf8Bits));
}

JpegRowReader::~JpegRowReader() = default;

void JpegRowReader::setScale(int eighths) {
    jpeg_decompress_struct& info = codec_->info();
    info.scale_num = static_cast<unsigned>(std::clamp(eighths, 1, 8));
    info.scale_denom = 8;
}

QSize JpegRowReader::outputSize() {
    codec_->calcOutputDimensions();
    const jpeg_decompress_struct& info = codec_->info();
    return {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
}

std::size_t JpegRowReader::workingMemory() const {
    const jpeg_decompress_struct& info = codec_->info();
    const std::size_t width = info.image_width;
    // Row groups of every stage (upsampling, colour conversion, our own rows).
    std::size_t bytes = width * 4 * 16 * 4 + (1u << 20);
    if (header_.progressive) {
        // Every block of every component, 64 coefficients of 2 bytes, kept whole.
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info& comp = info.comp_info[c];
            const std::size_t blocksWide =
                (std::size_t(comp.width_in_blocks) + comp.h_samp_factor - 1) / comp.h_samp_factor *
                comp.h_samp_factor;
            const std::size_t blocksHigh =
                (std::size_t(comp.height_in_blocks) + comp.v_samp_factor - 1) / comp.v_samp_factor *
                comp.v_samp_factor;
            bytes += blocksWide * blocksHigh * 64 * sizeof(JCOEF);
        }
    }
    return bytes;
}

void JpegRowReader::start() {
    jpeg_decompress_struct& info = codec_->info();
    codec_->calcOutputDimensions();
    checkPictureSize(info.output_width, info.output_height);
    rows_.assign(std::size_t(info.output_width) * std::size_t(bytesPerPixel()) * kRowsPerCall, 0);
    if (plan_.output == Output::Cmyk)
        libRows_.assign(std::size_t(info.output_width) * 4 * kRowsPerCall, 0);
    codec_->start();
}

int JpegRowReader::read(const unsigned char** rows, int max) {
    jpeg_decompress_struct& info = codec_->info();
    if (info.output_scanline >= info.output_height)
        return 0;
    const JDIMENSION count =
        std::min<JDIMENSION>({kRowsPerCall, static_cast<JDIMENSION>(std::max(max, 1)),
                              info.output_height - info.output_scanline});
    const bool cmyk = plan_.output == Output::Cmyk;
    const std::size_t stride = std::size_t(info.output_width) * std::size_t(bytesPerPixel());
    const std::size_t libStride = std::size_t(info.output_width) * 4;
    JSAMPROW libRows[kRowsPerCall];
    for (JDIMENSION i = 0; i < count; ++i)
        libRows[i] = cmyk ? libRows_.data() + i * libStride : rows_.data() + i * stride;
    const JDIMENSION read = codec_->readScanlines(libRows, count);
    for (JDIMENSION i = 0; i < read; ++i) {
        if (cmyk)
            convertCmyk(plan_, libRows[i], rows_.data() + i * stride, info.output_width);
        rows[i] = rows_.data() + i * stride;
    }
    return static_cast<int>(read);
}

void JpegRowReader::finish() {
    codec_->finish();
}

} // namespace kelvora
