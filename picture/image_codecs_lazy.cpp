// libavif's and libjxl's functions as the AVIF and JPEG XL decoders call them, each forwarding
// to its library, which is loaded when the first such page is read.
#include "platform/lazy_library.h"

#include <avif/avif.h>
#include <jxl/decode.h>

namespace {

folivo::LazyLibrary libavif("libavif.so.15");
folivo::LazyLibrary libjxl("libjxl.so.0.7");

} // namespace

// Without a library its version is missing (null, 0), and its pages are reported as pictures
// that cannot be shown, naming the package to install. The parameters are named here; the
// headers name them otherwise.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
FOLIVO_LAZY_FORWARD(libavif, const char*, avifVersion, (), (), nullptr)
FOLIVO_LAZY_FORWARD(libavif, avifDecoder*, avifDecoderCreate, (), (), nullptr)
FOLIVO_LAZY_FORWARD(libavif, void, avifDecoderDestroy, (avifDecoder * decoder), (decoder), )
FOLIVO_LAZY_FORWARD(libavif, avifResult, avifDecoderSetIOMemory,
                    (avifDecoder * decoder, const uint8_t* data, size_t size),
                    (decoder, data, size), AVIF_RESULT_UNKNOWN_ERROR)
FOLIVO_LAZY_FORWARD(libavif, avifResult, avifDecoderParse, (avifDecoder * decoder), (decoder),
                    AVIF_RESULT_UNKNOWN_ERROR)
FOLIVO_LAZY_FORWARD(libavif, avifResult, avifDecoderNextImage, (avifDecoder * decoder), (decoder),
                    AVIF_RESULT_UNKNOWN_ERROR)
FOLIVO_LAZY_FORWARD(libavif, void, avifRGBImageSetDefaults,
                    (avifRGBImage * rgb, const avifImage* image), (rgb, image), )
FOLIVO_LAZY_FORWARD(libavif, avifResult, avifImageYUVToRGB,
                    (const avifImage* image, avifRGBImage* rgb), (image, rgb),
                    AVIF_RESULT_UNKNOWN_ERROR)

FOLIVO_LAZY_FORWARD(libjxl, uint32_t, JxlDecoderVersion, (), (), 0)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoder*, JxlDecoderCreate, (const JxlMemoryManager* manager),
                    (manager), nullptr)
FOLIVO_LAZY_FORWARD(libjxl, void, JxlDecoderDestroy, (JxlDecoder * decoder), (decoder), )
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderSubscribeEvents,
                    (JxlDecoder * decoder, int events), (decoder, events), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderSetKeepOrientation,
                    (JxlDecoder * decoder, JXL_BOOL keep), (decoder, keep), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderSetInput,
                    (JxlDecoder * decoder, const uint8_t* data, size_t size), (decoder, data, size),
                    JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, void, JxlDecoderCloseInput, (JxlDecoder * decoder), (decoder), )
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderProcessInput, (JxlDecoder * decoder),
                    (decoder), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderGetBasicInfo,
                    (const JxlDecoder* decoder, JxlBasicInfo* info), (decoder, info), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderSetPreferredColorProfile,
                    (JxlDecoder * decoder, const JxlColorEncoding* encoding), (decoder, encoding),
                    JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderGetColorAsEncodedProfile,
                    (const JxlDecoder* decoder, const JxlPixelFormat* format,
                     JxlColorProfileTarget target, JxlColorEncoding* encoding),
                    (decoder, format, target, encoding), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderGetICCProfileSize,
                    (const JxlDecoder* decoder, const JxlPixelFormat* format,
                     JxlColorProfileTarget target, size_t* size),
                    (decoder, format, target, size), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderGetColorAsICCProfile,
                    (const JxlDecoder* decoder, const JxlPixelFormat* format,
                     JxlColorProfileTarget target, uint8_t* profile, size_t size),
                    (decoder, format, target, profile, size), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderImageOutBufferSize,
                    (const JxlDecoder* decoder, const JxlPixelFormat* format, size_t* size),
                    (decoder, format, size), JXL_DEC_ERROR)
FOLIVO_LAZY_FORWARD(libjxl, JxlDecoderStatus, JxlDecoderSetImageOutBuffer,
                    (JxlDecoder * decoder, const JxlPixelFormat* format, void* buffer, size_t size),
                    (decoder, format, buffer, size), JXL_DEC_ERROR)
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
