#include "picture/jxl_decoder.h"

#include "platform/error.h"

#include <QColorSpace>

#include <jxl/decode.h>

#include <limits>
#include <memory>
#include <new>

namespace folivo {
namespace {

struct JxlDecoderDeleter {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
using JxlDecoderPointer = std::unique_ptr<JxlDecoder, JxlDecoderDeleter>;

// A decoder of its own for every call, with every byte of the file: pages are read on
// several threads at once, and whole.
JxlDecoderPointer decoderFor(const QByteArray& bytes, int events)
{
    if (JxlDecoderVersion() == 0)
        throw Error(ErrorNumber::InvalidPicture, missingDecoderDescription("JPEG XL", "libjxl0.7"));
    JxlDecoderPointer decoder(JxlDecoderCreate(nullptr));
    if (!decoder)
        throw std::bad_alloc();
    // As JPEG pages are shown: an orientation is not followed.
    if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size())) != JXL_DEC_SUCCESS)
        throw Error(ErrorNumber::InvalidPicture);
    JxlDecoderCloseInput(decoder.get());
    return decoder;
}

JxlBasicInfo basicInfo(const JxlDecoder* decoder)
{
    JxlBasicInfo info{};
    constexpr uint32_t kLargest = std::numeric_limits<int>::max();
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS || info.xsize == 0 ||
        info.ysize == 0 || info.xsize > kLargest || info.ysize > kLargest)
        throw Error(ErrorNumber::InvalidPicture);
    return info;
}

QSize sizeOf(const JxlBasicInfo& info)
{
    return QSize(static_cast<int>(info.xsize), static_cast<int>(info.ysize));
}

bool isSrgb(const JxlColorEncoding& encoding)
{
    if (encoding.transfer_function != JXL_TRANSFER_FUNCTION_SRGB)
        return false;
    return encoding.color_space == JXL_COLOR_SPACE_GRAY ||
           (encoding.color_space == JXL_COLOR_SPACE_RGB &&
            encoding.white_point == JXL_WHITE_POINT_D65 &&
            encoding.primaries == JXL_PRIMARIES_SRGB);
}

// libjxl turns its own internal colours into sRGB when asked; a picture stored in the colours
// of its source keeps them, and they are described by an ICC profile.
QColorSpace pixelColourSpace(JxlDecoder* decoder, bool grey)
{
    JxlColorEncoding srgb{};
    srgb.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
    srgb.white_point = JXL_WHITE_POINT_D65;
    srgb.primaries = JXL_PRIMARIES_SRGB;
    srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    srgb.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
    // Refused for a picture that is not stored in libjxl's own colours: then it has no choice.
    JxlDecoderSetPreferredColorProfile(decoder, &srgb);

    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS &&
        isSrgb(encoding))
        return QColorSpace();
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0)
        return QColorSpace();
    QByteArray profile(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(profile.data()),
                                       size) != JXL_DEC_SUCCESS)
        return QColorSpace();
    return QColorSpace::fromIccProfile(profile);
}

} // namespace

MoreFormatHeader readJxlHeader(const QByteArray& bytes)
{
    const JxlDecoderPointer decoder = decoderFor(bytes, JXL_DEC_BASIC_INFO);
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO)
        throw Error(ErrorNumber::InvalidPicture);
    const JxlBasicInfo info = basicInfo(decoder.get());
    // The decoder keeps a frame of 32-bit samples for each channel while it decodes a
    // lossless picture; then the picture in 4 bytes a pixel.
    const qint64 channels = qint64{info.num_color_channels} + info.num_extra_channels;
    return MoreFormatHeader{sizeOf(info), decodedBytes(sizeOf(info), 4 * channels + 4)};
}

QImage decodeJxl(const QByteArray& bytes, const QSize& pixels)
{
    const JxlDecoderPointer decoder =
        decoderFor(bytes, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    // Grey pictures too come as RGBA, each grey copied into the three colours.
    const JxlPixelFormat rgba{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    bool grey = false;
    QColorSpace space;
    QImage image;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            const JxlBasicInfo info = basicInfo(decoder.get());
            if (sizeOf(info) != pixels)
                throw Error(ErrorNumber::InvalidPicture);
            grey = info.num_color_channels == 1;
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            space = pixelColourSpace(decoder.get(), grey);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            image = QImage(pixels, QImage::Format_RGBA8888);
            if (image.isNull())
                throw Error(ErrorNumber::OutOfMemory);
            size_t needed = 0;
            const auto available = static_cast<size_t>(image.sizeInBytes());
            if (JxlDecoderImageOutBufferSize(decoder.get(), &rgba, &needed) != JXL_DEC_SUCCESS ||
                needed > available ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &rgba, image.bits(), available) !=
                    JXL_DEC_SUCCESS)
                throw Error(ErrorNumber::InvalidPicture);
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame of an animation: the page.
            if (image.isNull())
                throw Error(ErrorNumber::InvalidPicture);
            image.setColorSpace(space);
            return image;
        default:
            // An error, a file cut short, or one that ends without a frame.
            throw Error(ErrorNumber::InvalidPicture);
        }
    }
}

} // namespace folivo
