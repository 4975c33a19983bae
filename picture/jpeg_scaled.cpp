#include "picture/jpeg_scaled.h"

#include "platform/error.h"
#include "platform/prefaulted_buffer.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h: the message codes, to tell a refusal for memory from bad data.
#include <jerror.h>

namespace folivo {
namespace {

constexpr int kChannels = 3;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void leaveOnError(j_common_ptr info)
{
    // The manager is the first member: libjpeg hands back the pointer it was given.
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings (a file cut short is filled with grey, as every viewer shows it) are no failures.
void ignoreMessage(j_common_ptr) {}

/// Makes libjpeg leave through `errors.jump` on an error and say nothing of warnings. The
/// caller sets the jump with setjmp before its first libjpeg call.
void reportTo(jpeg_decompress_struct& info, ErrorManager& errors)
{
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = leaveOnError;
    errors.pub.output_message = ignoreMessage;
}

// libjpeg gives up for memory before it allocates what would exceed its limit.
bool refusedForMemory(const ErrorManager& errors)
{
    return errors.pub.msg_code == JERR_OUT_OF_MEMORY ||
           errors.pub.msg_code == JERR_NO_BACKING_STORE;
}

void readFromMemory(jpeg_decompress_struct& info, const QByteArray& bytes)
{
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
}

/// How the source pixels of one axis average into the target's: source pixel i adds `near[i]`
/// of itself to target pixel `first[i]` and `far[i]` to the one after. A target pixel is the
/// mean of the source area it covers, partly covered source pixels counting by their share.
struct AxisShares {
    std::vector<int> first;
    std::vector<float> near;
    std::vector<float> far;

    void fill(int source, int target)
    {
        const auto count = static_cast<std::size_t>(source);
        first.assign(count, 0);
        near.assign(count, 0.0F);
        far.assign(count, 0.0F);
        // In units where a source pixel is `target` long and a target pixel `source` long.
        const auto total = static_cast<float>(source);
        for (int i = 0; i < source; ++i) {
            const std::int64_t start = std::int64_t{i} * target;
            const std::int64_t end = start + target;
            const auto cell = static_cast<int>(start / source);
            const std::int64_t boundary = std::int64_t{cell + 1} * source;
            const auto index = static_cast<std::size_t>(i);
            first[index] = cell;
            if (end <= boundary || cell + 1 >= target) {
                near[index] = static_cast<float>(end - start) / total;
            } else {
                near[index] = static_cast<float>(boundary - start) / total;
                far[index] = static_cast<float>(end - boundary) / total;
            }
        }
    }
};

enum class Outcome { Done, NothingWanted, NotApplicable, TooLarge, Failed };

/// The buffers the decoding fills, owned outside the part that may jump, so that a jump
/// skips no destructor.
struct Buffers {
    AxisShares across;
    AxisShares down;
    std::vector<JSAMPLE> line;
    std::vector<float> row;
    std::vector<float> now;
    std::vector<float> next;
};

// Adds a decoded line, weighted, into the sums of a target row: the loop the decoding spends
// most of its own time in. Processors that have them run it eight samples at a time with
// fused multiply-adds; the choice is made once, when the program is loaded.
// (Not under ThreadSanitizer: its runtime is not ready when the loader picks the loop.)
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void addWeighted(float* sums, const JSAMPLE* line, std::size_t size, float weight)
{
    for (std::size_t i = 0; i < size; ++i)
        sums[i] += weight * static_cast<float>(line[i]);
}

void addRow(const float* line, int width, const AxisShares& across, float* row)
{
    // Neighbouring samples fall into the same cell: its sums stay in registers until the
    // samples move on to another cell, instead of going through memory at every sample.
    int current = width > 0 ? across.first[0] : 0;
    std::array<float, kChannels> sums{};
    std::array<float, kChannels> carried{}; // the next cell's share of samples on its edge
    const auto flush = [&] {
        float* cell = row + static_cast<std::ptrdiff_t>(current) * kChannels;
        for (int c = 0; c < kChannels; ++c) {
            cell[c] += sums[c];
            if (carried[c] != 0.0F)
                cell[kChannels + c] += carried[c];
        }
        sums = {};
        carried = {};
    };
    for (int x = 0; x < width; ++x) {
        const auto index = static_cast<std::size_t>(x);
        if (across.first[index] != current) {
            flush();
            current = across.first[index];
        }
        const float near = across.near[index];
        const float far = across.far[index];
        const float* pixel = line + static_cast<std::ptrdiff_t>(x) * kChannels;
        for (int c = 0; c < kChannels; ++c)
            sums[c] += near * pixel[c];
        if (far != 0.0F) {
            for (int c = 0; c < kChannels; ++c)
                carried[c] += far * pixel[c];
        }
    }
    if (width > 0)
        flush();
}

void storeRow(const std::vector<float>& sums, QImage& image, int y)
{
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    const int width = image.width();
    for (int x = 0; x < width; ++x) {
        const float* cell = sums.data() + static_cast<std::ptrdiff_t>(x) * kChannels;
        int value[kChannels];
        for (int c = 0; c < kChannels; ++c) {
            const float clamped = std::clamp(cell[c], 0.0F, 255.0F);
            // Never negative: adding a half and truncating rounds to nearest.
            value[c] = static_cast<int>(clamped + 0.5F); // NOLINT(bugprone-incorrect-roundings)
        }
        out[x] = qRgb(value[0], value[1], value[2]);
    }
}

/// Where the compressed data comes from: bytes in memory or an open file.
struct Source {
    const QByteArray* bytes = nullptr;
    std::FILE* file = nullptr;
};

// Pixels of pages let go of, for the next pages drawn: two, as one page is drawn ahead in
// each direction. A page enlarged far beyond a screen's size is not kept: no page turned to
// would fit in it.
PrefaultedBufferPool& pixelPool()
{
    // Never destroyed: pixels may be let go of while the program ends.
    static auto* const pool = new PrefaultedBufferPool(2, std::size_t{64} << 20);
    return *pool;
}

void letPixelsGo(void* info)
{
    delete static_cast<std::shared_ptr<PrefaultedBuffer>*>(info);
}

// Pixels outside the memory allocator, ready to be written: pages drawn ahead on worker
// threads would otherwise stay behind in those threads' allocator pools long after the page
// was shown and let go.
QImage mappedImage(const QSize& size)
{
    const qsizetype stride = qsizetype{size.width()} * 4;
    const auto length = static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height());
    std::shared_ptr<PrefaultedBuffer> buffer = pixelPool().lend(length);
    if (!buffer)
        return QImage();
    auto* held = new std::shared_ptr<PrefaultedBuffer>(std::move(buffer));
    QImage image(reinterpret_cast<uchar*>((*held)->data()), size.width(), size.height(), stride,
                 QImage::Format_RGB32, letPixelsGo, held);
    if (image.isNull())
        letPixelsGo(held);
    return image;
}

// Only trivially destroyed objects live here: libjpeg leaves through longjmp on bad data.
Outcome decodeInto(const Source& source, const TargetFor& targetFor, std::int64_t memoryLimit,
                   QImage& image, Buffers& buffers)
{
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    reportTo(info, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return refusedForMemory(errors) ? Outcome::TooLarge : Outcome::Failed;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = static_cast<long>(std::max<std::int64_t>(memoryLimit, 1));
    if (source.bytes) {
        readFromMemory(info, *source.bytes);
    } else {
        jpeg_stdio_src(&info, source.file);
    }
    jpeg_read_header(&info, TRUE);
    // Four-colour pictures (CMYK, YCCK) need the inversions Qt's reader knows about.
    if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr &&
        info.jpeg_color_space != JCS_RGB) {
        jpeg_destroy_decompress(&info);
        return Outcome::NotApplicable;
    }
    try {
        const QSize target = targetFor(
            QSize(static_cast<int>(info.image_width), static_cast<int>(info.image_height)));
        if (target.isEmpty()) {
            jpeg_destroy_decompress(&info);
            return Outcome::NothingWanted;
        }
        image = mappedImage(target);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        throw;
    }
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        throw Error(ErrorNumber::OutOfMemory);
    }
    info.out_color_space = JCS_RGB;
    const QSize whole(static_cast<int>(info.image_width), static_cast<int>(info.image_height));
    if (image.width() > whole.width() || image.height() > whole.height()) {
        jpeg_destroy_decompress(&info);
        return Outcome::NotApplicable;
    }
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(
        jpegReduction(whole, image.size(), JpegDecoder::Libjpeg).denominator);
    jpeg_calc_output_dimensions(&info);

    const auto sourceWidth = static_cast<int>(info.output_width);
    const auto sourceHeight = static_cast<int>(info.output_height);
    const auto rowSize = static_cast<std::size_t>(image.width()) * kChannels;
    const auto lineSize = static_cast<std::size_t>(sourceWidth) * kChannels;
    try {
        buffers.across.fill(sourceWidth, image.width());
        buffers.down.fill(sourceHeight, image.height());
        buffers.line.assign(lineSize, 0);
        buffers.row.assign(rowSize, 0.0F);
        buffers.now.assign(lineSize, 0.0F);
        buffers.next.assign(lineSize, 0.0F);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        throw;
    }

    jpeg_start_decompress(&info);
    JSAMPROW line = buffers.line.data();
    int targetRow = 0;
    for (int y = 0; y < sourceHeight; ++y) {
        if (jpeg_read_scanlines(&info, &line, 1) != 1)
            break; // data ended: libjpeg has already filled in what it could not read
        // Rows are summed down at the decoded width first (a plain loop the compiler runs
        // several samples at a time), and each finished row is averaged across only once.
        const auto index = static_cast<std::size_t>(y);
        const float near = buffers.down.near[index];
        const float far = buffers.down.far[index];
        addWeighted(buffers.now.data(), line, lineSize, near);
        if (far != 0.0F)
            addWeighted(buffers.next.data(), line, lineSize, far);
        // The target row is complete once a source row reaches its lower edge.
        const std::int64_t reached = std::int64_t{y + 1} * image.height();
        if (reached >= std::int64_t{targetRow + 1} * sourceHeight && targetRow < image.height()) {
            std::fill(buffers.row.begin(), buffers.row.end(), 0.0F);
            addRow(buffers.now.data(), sourceWidth, buffers.across, buffers.row.data());
            storeRow(buffers.row, image, targetRow++);
            buffers.now.swap(buffers.next);
            std::fill(buffers.next.begin(), buffers.next.end(), 0.0F);
        }
    }
    if (targetRow < image.height()) {
        // Fewer rows than announced (it never happens with libjpeg's own filling): no page.
        jpeg_abort_decompress(&info);
        jpeg_destroy_decompress(&info);
        return Outcome::Failed;
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return Outcome::Done;
}

std::optional<QImage> decode(const Source& source, const TargetFor& targetFor,
                             std::int64_t memoryLimit)
{
    QImage image;
    Buffers buffers;
    switch (decodeInto(source, targetFor, memoryLimit, image, buffers)) {
    case Outcome::Done:
        return image;
    case Outcome::NothingWanted:
        return QImage();
    case Outcome::NotApplicable:
        return std::nullopt;
    case Outcome::TooLarge:
        throw Error(ErrorNumber::OutOfMemory);
    case Outcome::Failed:
        break;
    }
    throw Error(ErrorNumber::InvalidPicture);
}

} // namespace

JpegReduction jpegReduction(const QSize& pixels, const QSize& target, JpegDecoder decoder)
{
    // The reductions libjpeg-turbo decodes with its fast code.
    for (const int denominator : {8, 4, 2}) {
        const auto reduced = [&](int length) {
            return decoder == JpegDecoder::Libjpeg ? (length + denominator - 1) / denominator
                                                   : length / denominator;
        };
        const QSize size(reduced(pixels.width()), reduced(pixels.height()));
        if (size.width() >= target.width() && size.height() >= target.height())
            return JpegReduction{denominator, size};
    }
    return JpegReduction{1, pixels};
}

std::optional<QImage> decodeJpegScaledDown(const QByteArray& bytes, const QSize& target,
                                           std::int64_t memoryLimit)
{
    if (target.isEmpty())
        return std::nullopt;
    Source source;
    source.bytes = &bytes;
    return decode(
        source, [&](const QSize&) { return target; }, memoryLimit);
}

JpegHeader readJpegHeader(const QByteArray& bytes)
{
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    reportTo(info, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return JpegHeader{};
    }
    jpeg_create_decompress(&info);
    readFromMemory(info, bytes);
    JpegHeader header;
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
        header.pixels =
            QSize(static_cast<int>(info.image_width), static_cast<int>(info.image_height));
        header.scaledDecoding = info.jpeg_color_space == JCS_GRAYSCALE ||
                                info.jpeg_color_space == JCS_YCbCr ||
                                info.jpeg_color_space == JCS_RGB;
        if (jpeg_has_multiple_scans(&info)) {
            // As libjpeg sizes its whole-picture buffer: each component's blocks, rounded up to
            // whole units of its sampling factors, 64 coefficients of two bytes each.
            for (int c = 0; c < info.num_components; ++c) {
                const jpeg_component_info& component = info.comp_info[c];
                const auto roundUp = [](std::int64_t value, std::int64_t unit) {
                    return (value + unit - 1) / unit * unit;
                };
                header.coefficientBytes +=
                    roundUp(component.width_in_blocks, component.h_samp_factor) *
                    roundUp(component.height_in_blocks, component.v_samp_factor) *
                    std::int64_t{sizeof(JBLOCK)};
            }
        }
    }
    jpeg_destroy_decompress(&info);
    return header;
}

std::optional<QImage> decodeJpegFileScaledDown(const QString& path, const TargetFor& targetFor,
                                               std::int64_t memoryLimit)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rbe");
    if (!file)
        return std::nullopt;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
    unsigned char signature[2] = {};
    if (std::fread(signature, 1, 2, file) != 2 || signature[0] != 0xFF || signature[1] != 0xD8)
        return std::nullopt;
    std::rewind(file);
    Source source;
    source.file = file;
    return decode(source, targetFor, memoryLimit);
}

} // namespace folivo
