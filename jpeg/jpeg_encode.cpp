#include "jpeg/jpeg_encode.h"

#include "jpeg/jpeg_codec.h"

#include <QtEndian>
#include <algorithm>

namespace kelvora {
namespace {
constexpr JDIMENSION kRowsPerCall = 16;

struct Layout {
    J_COLOR_SPACE space;
    int components;
};

// How libjpeg reads the picture's rows in place, or {JCS_UNKNOWN, 0} when it cannot.
Layout layoutOf(QImage::Format format) {
    switch (format) {
    case QImage::Format_BGR888:
        return {JCS_EXT_BGR, 3};
    case QImage::Format_RGB888:
        return {JCS_EXT_RGB, 3};
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: // the alpha byte is ignored
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        return {JCS_EXT_BGRX, 4};
#else
        return {JCS_EXT_XRGB, 4};
#endif
    default:
        return {JCS_UNKNOWN, 0};
    }
}
void configure(jpegcodec::Compressor& codec, int width, int height, Layout layout,
               const JpegEncodeSettings& settings) {
    jpeg_compress_struct& info = codec.info();
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = layout.components;
    info.in_color_space = layout.space;
    codec.setDefaults();
    info.dct_method = JDCT_FLOAT;
    codec.setQuality(settings.quality, true);
    if (settings.grayscale)
        codec.setColorspace(JCS_GRAYSCALE);
    else if (settings.fullChroma)
        info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    if (settings.progressive)
        codec.simpleProgression();
}
} // namespace

std::string encodeJpeg(const QImage& picture, const JpegEncodeSettings& settings,
                       const std::function<void(int percent)>& onProgress) {
    // A layout libjpeg cannot read is converted a few rows at a time: a whole 24-bit
    // copy of a large palette picture would triple what the run holds.
    const Layout own = layoutOf(picture.format());
    const bool convert = own.components == 0;
    const Layout layout = convert ? layoutOf(QImage::Format_BGR888) : own;

    jpegcodec::Compressor codec;
    codec.onProgress = onProgress;
    configure(codec, picture.width(), picture.height(), layout, settings);
    jpeg_compress_struct& info = codec.info();
    codec.start();
    QImage chunk;
    JSAMPROW rows[kRowsPerCall];
    while (info.next_scanline < info.image_height) {
        const JDIMENSION y = info.next_scanline;
        const JDIMENSION count = std::min(kRowsPerCall, info.image_height - y);
        if (convert)
            chunk = picture.copy(0, static_cast<int>(y), picture.width(), static_cast<int>(count))
                        .convertToFormat(QImage::Format_BGR888);
        const QImage& source = convert ? chunk : picture;
        const JDIMENSION first = convert ? 0 : y;
        // libjpeg only reads the rows, so they are passed without detaching the picture.
        auto* const bits = const_cast<uchar*>(source.constBits());
        const auto stride = static_cast<std::size_t>(source.bytesPerLine());
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = bits + (first + i) * stride;
        codec.writeScanlines(rows, count);
    }
    codec.finish();
    return codec.takeOutput();
}

JpegRowEncoder::JpegRowEncoder(int width, int height, const JpegEncodeSettings& settings, Sink sink)
    : codec_(std::make_unique<jpegcodec::Compressor>(std::move(sink))),
      stride_(static_cast<std::size_t>(width) * 3), rows_(stride_ * kRowsPerCall) {
    configure(*codec_, width, height, layoutOf(QImage::Format_BGR888), settings);
    codec_->start();
}

JpegRowEncoder::~JpegRowEncoder() = default;

unsigned char* JpegRowEncoder::nextRow() {
    return rows_.data() + static_cast<std::size_t>(filled_) * stride_;
}

void JpegRowEncoder::rowDone() {
    if (++filled_ == static_cast<int>(kRowsPerCall))
        flush();
}

void JpegRowEncoder::flush() {
    JSAMPROW rows[kRowsPerCall];
    for (int i = 0; i < filled_; ++i)
        rows[i] = rows_.data() + static_cast<std::size_t>(i) * stride_;
    codec_->writeScanlines(rows, static_cast<JDIMENSION>(filled_));
    filled_ = 0;
}

void JpegRowEncoder::finish() {
    if (filled_ > 0)
        flush();
    codec_->finish();
}

} // namespace kelvora
