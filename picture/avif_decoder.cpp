#include "picture/avif_decoder.h"

#include "platform/error.h"

#include <QColorSpace>
#include <QtGlobal>

#include <avif/avif.h>

#include <limits>
#include <memory>
#include <new>

namespace folivo {
namespace {

struct AvifDecoderDeleter {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
using AvifDecoderPointer = std::unique_ptr<avifDecoder, AvifDecoderDeleter>;

// A decoder of its own for every call: pages are read on several threads at once.
AvifDecoderPointer parsed(const QByteArray& bytes)
{
    if (avifVersion() == nullptr)
        throw Error(ErrorNumber::InvalidPicture, missingDecoderDescription("AVIF", "libavif15"));
    AvifDecoderPointer decoder(avifDecoderCreate());
    if (!decoder)
        throw std::bad_alloc();
    // Reading ahead already keeps every core busy with a page each.
    decoder->maxThreads = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // A page that a strict reading would refuse for a missing property still shows.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    if (avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                               static_cast<size_t>(bytes.size())) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK)
        throw Error(ErrorNumber::InvalidPicture);
    return decoder;
}

QSize sizeOf(const avifImage& image)
{
    constexpr uint32_t kLargest = std::numeric_limits<int>::max();
    if (image.width == 0 || image.height == 0 || image.width > kLargest || image.height > kLargest)
        throw Error(ErrorNumber::InvalidPicture);
    return QSize(static_cast<int>(image.width), static_cast<int>(image.height));
}

// The ICC profile when there is one, else the coding-independent code points, of which those
// with a counterpart in Qt are honoured. The video transfer curves are shown as sRGB, as
// browsers show them.
QColorSpace colourSpaceOf(const avifImage& image)
{
    if (image.icc.size > 0) {
        return QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(image.icc.data),
                                                      static_cast<qsizetype>(image.icc.size)));
    }
    QColorSpace::Primaries primaries = QColorSpace::Primaries::SRgb;
    switch (image.colorPrimaries) {
    case AVIF_COLOR_PRIMARIES_BT709:
    case AVIF_COLOR_PRIMARIES_UNSPECIFIED:
        break;
    case AVIF_COLOR_PRIMARIES_SMPTE432:
        primaries = QColorSpace::Primaries::DciP3D65;
        break;
    default:
        return QColorSpace();
    }
    QColorSpace::TransferFunction transfer = QColorSpace::TransferFunction::SRgb;
    float gamma = 0;
    switch (image.transferCharacteristics) {
    case AVIF_TRANSFER_CHARACTERISTICS_BT709:
    case AVIF_TRANSFER_CHARACTERISTICS_UNSPECIFIED:
    case AVIF_TRANSFER_CHARACTERISTICS_BT601:
    case AVIF_TRANSFER_CHARACTERISTICS_SRGB:
    case AVIF_TRANSFER_CHARACTERISTICS_BT2020_10BIT:
    case AVIF_TRANSFER_CHARACTERISTICS_BT2020_12BIT:
        break;
    case AVIF_TRANSFER_CHARACTERISTICS_LINEAR:
        transfer = QColorSpace::TransferFunction::Linear;
        break;
    case AVIF_TRANSFER_CHARACTERISTICS_BT470M:
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = 2.2F;
        break;
    case AVIF_TRANSFER_CHARACTERISTICS_BT470BG:
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = 2.8F;
        break;
    default:
        return QColorSpace();
    }
    return QColorSpace(primaries, transfer, gamma);
}

} // namespace

MoreFormatHeader readAvifHeader(const QByteArray& bytes)
{
    const AvifDecoderPointer decoder = parsed(bytes);
    const QSize pixels = sizeOf(*decoder->image);
    // The AV1 decoder's planes, each at most the picture's size, for the frame it makes and
    // one it refers to; then the picture in 4 bytes a pixel.
    const qint64 sampleBytes = decoder->image->depth > 8 ? 2 : 1;
    const qint64 planes = decoder->alphaPresent ? 4 : 3;
    return MoreFormatHeader{pixels, decodedBytes(pixels, 2 * planes * sampleBytes + 4)};
}

QImage decodeAvif(const QByteArray& bytes, const QSize& pixels)
{
    const AvifDecoderPointer decoder = parsed(bytes);
    // The first frame of a sequence: the page.
    if (avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK)
        throw Error(ErrorNumber::InvalidPicture);
    const avifImage& frame = *decoder->image;
    if (sizeOf(frame) != pixels)
        throw Error(ErrorNumber::InvalidPicture);
    QImage image(pixels, QImage::Format_ARGB32);
    if (image.isNull())
        throw Error(ErrorNumber::OutOfMemory);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &frame);
    rgb.depth = 8;
    // Format_ARGB32 is one 32-bit word a pixel: its bytes in memory follow the machine's order.
    rgb.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.pixels = image.bits();
    rgb.rowBytes = static_cast<uint32_t>(image.bytesPerLine());
    if (avifImageYUVToRGB(&frame, &rgb) != AVIF_RESULT_OK)
        throw Error(ErrorNumber::InvalidPicture);
    image.setColorSpace(colourSpaceOf(frame));
    return image;
}

} // namespace folivo
