// libwmf's and libemf2svg's functions as the metafile reader calls them, each forwarding to its
// library, which is loaded when the first metafile is read.
#include "platform/lazy_library.h"

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace {

folivo::LazyLibrary libwmf("libwmf-0.2.so.7");
folivo::LazyLibrary libemf2svg("libemf2svg.so.1");

} // namespace

// Without a library its metafiles fail to be read, and are reported as pictures that cannot
// be shown. The parameters are named here; the headers leave them unnamed.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
FOLIVO_LAZY_FORWARD(libwmf, wmf_error_t, wmf_api_create,
                    (wmfAPI * *api, unsigned long flags, wmfAPI_Options* options),
                    (api, flags, options), wmf_E_Glitch)
FOLIVO_LAZY_FORWARD(libwmf, wmf_error_t, wmf_api_destroy, (wmfAPI * api), (api), wmf_E_Glitch)
FOLIVO_LAZY_FORWARD(libwmf, wmf_error_t, wmf_scan,
                    (wmfAPI * api, unsigned long flags, wmfD_Rect* box), (api, flags, box),
                    wmf_E_Glitch)
FOLIVO_LAZY_FORWARD(libwmf, wmf_error_t, wmf_play,
                    (wmfAPI * api, unsigned long flags, wmfD_Rect* box), (api, flags, box),
                    wmf_E_Glitch)
FOLIVO_LAZY_FORWARD(libwmf, wmf_error_t, wmf_display_size,
                    (wmfAPI * api, unsigned int* width, unsigned int* height, double resX,
                     double resY),
                    (api, width, height, resX, resY), wmf_E_Glitch)
FOLIVO_LAZY_FORWARD(libwmf, wmf_error_t, wmf_mem_open,
                    (wmfAPI * api, unsigned char* bytes, long size), (api, bytes, size),
                    wmf_E_Glitch)
FOLIVO_LAZY_FORWARD(libwmf, wmfStream*, wmf_stream_create, (wmfAPI * api, FILE* file), (api, file),
                    nullptr)
FOLIVO_LAZY_FORWARD(libwmf, void, wmf_stream_destroy,
                    (wmfAPI * api, wmfStream* stream, char** bytes, unsigned long* size),
                    (api, stream, bytes, size), )
FOLIVO_LAZY_FORWARD(libwmf, void, wmf_free, (wmfAPI * api, void* memory), (api, memory), )
FOLIVO_LAZY_FORWARD(libwmf, void, wmf_svg_function, (wmfAPI * api), (api), )
FOLIVO_LAZY_FORWARD(libemf2svg, int, emf2svg,
                    (char* contents, size_t length, char** out, size_t* outLength,
                     generatorOptions* options),
                    (contents, length, out, outLength, options), 0)
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
