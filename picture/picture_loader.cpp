#include "picture/picture_loader.h"

#include "picture/jpeg_scaled.h"
#include "picture/metafile_svg.h"
#include "picture/more_formats.h"
#include "picture/picture_data.h"
#include "platform/error.h"
#include "platform/physical_memory.h"
#include "platform/prefaulted_buffer.h"
#include "platform/screen.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <optional>

namespace folivo {
namespace {

constexpr qint64 kMebibyte = qint64{1024} * 1024;
// Pictures are decoded to 32 bits a pixel.
constexpr qint64 kBytesPerPixel = 4;
constexpr qint64 kUnbounded = std::numeric_limits<qint64>::max();

// Headers may claim sizes whose products overflow: these saturate instead.
qint64 pixelBytes(const QSize& pixels)
{
    const qint64 width = std::max(pixels.width(), 0);
    const qint64 height = std::max(pixels.height(), 0);
    if (width > 0 && height > kUnbounded / kBytesPerPixel / width)
        return kUnbounded;
    return width * height * kBytesPerPixel;
}

qint64 plus(qint64 a, qint64 b)
{
    return a > kUnbounded - b ? kUnbounded : a + b;
}

// Qt's readers refuse to allocate beyond their own limit: the same as ours.
void raiseAllocationLimit()
{
    static const bool raised = [] {
        QImageReader::setAllocationLimit(
            static_cast<int>((pictureMemoryLimit() + kMebibyte - 1) / kMebibyte));
        return true;
    }();
    Q_UNUSED(raised);
}

void checkFitsInMemory(qint64 bytes)
{
    if (bytes > pictureMemoryLimit())
        throw Error(ErrorNumber::OutOfMemory);
}

QImage scaledExactly(QImage image, const QSize& pixels)
{
    if (image.size() == pixels)
        return image;
    // Smooth scaling works on premultiplied pixels: converted where they lie rather than
    // into a second copy of the whole picture.
    if (image.format() == QImage::Format_ARGB32)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    QImage scaled = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        throw Error(ErrorNumber::OutOfMemory);
    return scaled;
}

/// A file's bytes. Those of a large file lie in a buffer that goes back to a pool for the
/// next page's, and `bytes` only shows them: it must not outlive `storage`.
struct FileBytes {
    std::shared_ptr<PrefaultedBuffer> storage;
    QByteArray bytes;
};

/// What a raster picture's header tells.
struct RasterHeader {
    QByteArray format;
    QSize pixels;
    JpegHeader jpeg; ///< for a JPEG
    /// For PNG, WebP, TIFF, AVIF and JPEG XL, decoded whole and made opaque before they are
    /// scaled: the memory that takes at most. Zero for the classic formats.
    qint64 wholeDecodeBytes = 0;
};

/// JPEG, GIF, BMP and the further raster formats: the file's bytes, decoded only when the page
/// is drawn.
class RasterPicture final : public PictureData {
public:
    RasterPicture(FileBytes file, RasterHeader header)
        : m_storage(std::move(file.storage))
        , m_bytes(std::move(file.bytes))
        , m_format(std::move(header.format))
        , m_pixels(header.pixels)
        , m_jpeg(header.jpeg)
        , m_wholeDecodeBytes(header.wholeDecodeBytes)
    {
    }

    QSize naturalSizeTwips(double twipsPerPixel) const override
    {
        return QSize(pixelsToTwips(m_pixels.width(), twipsPerPixel),
                     pixelsToTwips(m_pixels.height(), twipsPerPixel));
    }

    qint64 renderBytes(const QSize& pixels) const override
    {
        const qint64 shown = pixelBytes(pixels);
        const qint64 held = m_bytes.size();
        if (m_wholeDecodeBytes > 0)
            return plus(held, plus(m_wholeDecodeBytes, m_pixels == pixels ? 0 : shown));
        if (m_format == "jpeg") {
            // Decoded in rows straight into the page, or by Qt's reader at libjpeg's scale
            // and then scaled: either way beside the coefficients of a progressive picture.
            const qint64 decoder = plus(held, m_jpeg.coefficientBytes);
            if (m_jpeg.scaledDecoding && pixels.width() <= m_pixels.width() &&
                pixels.height() <= m_pixels.height())
                return plus(decoder, shown);
            const QSize decoded = jpegReduction(m_pixels, pixels, JpegDecoder::QtReader).pixels;
            return plus(decoder, plus(pixelBytes(decoded), decoded == pixels ? 0 : shown));
        }
        // GIF and BMP are decoded whole before they are scaled.
        return plus(held, plus(pixelBytes(m_pixels), m_pixels == pixels ? 0 : shown));
    }

    QImage render(const QSize& pixels) const override
    {
        if (pixels.isEmpty())
            return QImage();
        checkFitsInMemory(renderBytes(pixels));
        if (m_wholeDecodeBytes > 0) {
            raiseAllocationLimit();
            return scaledExactly(decodeMoreFormat(m_bytes, m_format, m_pixels), pixels);
        }
        if (m_format == "jpeg") {
            if (std::optional<QImage> image =
                    decodeJpegScaledDown(m_bytes, pixels, pictureMemoryLimit()))
                return *std::move(image);
        }
        raiseAllocationLimit();
        QByteArray bytes = m_bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, m_format);
        reader.setAutoDetectImageFormat(false); // as when it was loaded
        reader.setAutoTransform(false);
        if (m_format == "jpeg") {
            const QSize decodeSize = jpegReduction(m_pixels, pixels, JpegDecoder::QtReader).pixels;
            if (decodeSize != m_pixels)
                reader.setScaledSize(decodeSize);
        }
        QImage image;
        if (!reader.read(&image) || image.isNull())
            throw Error(ErrorNumber::InvalidPicture);
        return scaledExactly(std::move(image), pixels);
    }

private:
    std::shared_ptr<PrefaultedBuffer> m_storage; // first: it outlives the view of it
    QByteArray m_bytes;
    QByteArray m_format;
    QSize m_pixels;
    JpegHeader m_jpeg;
    qint64 m_wholeDecodeBytes;
};

/// WMF and EMF: drawn from their SVG at whatever size the page is shown at. What the
/// metafile does not paint stays transparent, as a metafile on a window would.
class VectorPicture final : public PictureData {
public:
    explicit VectorPicture(const MetafileSvg& metafile)
        : m_renderer(std::make_unique<QSvgRenderer>(metafile.svg))
        , m_naturalSize(metafile.naturalSizeTwips)
    {
        if (!m_renderer->isValid())
            throw Error(ErrorNumber::InvalidPicture);
    }

    QSize naturalSizeTwips(double) const override { return m_naturalSize; }

    qint64 renderBytes(const QSize& pixels) const override { return pixelBytes(pixels); }

    QImage render(const QSize& pixels) const override
    {
        if (pixels.isEmpty())
            return QImage();
        checkFitsInMemory(renderBytes(pixels));
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            throw Error(ErrorNumber::OutOfMemory);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        m_renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        return image;
    }

private:
    std::unique_ptr<QSvgRenderer> m_renderer;
    QSize m_naturalSize;
};

// The bytes of the page let go of, for the page read next: a turn lets one go just before
// it reads the next.
PrefaultedBufferPool& fileBytesPool()
{
    // Never destroyed: a picture may be let go of while the program ends.
    static auto* const pool = new PrefaultedBufferPool(1, std::size_t{64} << 20);
    return *pool;
}

// Below this, a file's bytes are an ordinary array.
constexpr qint64 kLargeFile = qint64{256} * 1024;

FileBytes readWholeFile(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists())
        throw Error(ErrorNumber::FileNotFound);
    // No picture we can show is larger on disk than it is decoded.
    if (info.size() > pictureMemoryLimit())
        throw Error(ErrorNumber::OutOfMemory);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::InvalidPicture);
    const qint64 expected = file.size();
    if (expected < kLargeFile) {
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw Error(ErrorNumber::InvalidPicture);
        return FileBytes{nullptr, std::move(bytes)};
    }
    // A scan of megabytes, read into memory ready for it instead of faulted in page by page.
    std::shared_ptr<PrefaultedBuffer> storage =
        fileBytesPool().lend(static_cast<std::size_t>(expected));
    if (!storage)
        throw Error(ErrorNumber::OutOfMemory);
    const qint64 got = file.read(storage->data(), expected);
    if (got < 0 || file.error() != QFileDevice::NoError)
        throw Error(ErrorNumber::InvalidPicture);
    // Cut short since it was measured: what is there. Grown since: all of it, as reading to
    // the end would have it, in an ordinary array.
    if (got == expected) {
        const QByteArray rest = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw Error(ErrorNumber::InvalidPicture);
        if (!rest.isEmpty())
            return FileBytes{nullptr, QByteArray(storage->data(), got) + rest};
    }
    QByteArray view = QByteArray::fromRawData(storage->data(), got);
    return FileBytes{std::move(storage), std::move(view)};
}

// Qt's BMP reader does not tell the size before decoding; the header does.
QSize bmpHeaderSize(const QByteArray& bytes)
{
    constexpr int kInfoHeaderOffset = 14;
    constexpr int kCoreHeaderSize = 12;
    if (bytes.size() < kInfoHeaderOffset + kCoreHeaderSize)
        return QSize();
    const char* info = bytes.constData() + kInfoHeaderOffset;
    if (qFromLittleEndian<quint32>(info) == kCoreHeaderSize)
        return QSize(qFromLittleEndian<quint16>(info + 4), qFromLittleEndian<quint16>(info + 6));
    const qint64 width = qFromLittleEndian<qint32>(info + 4);
    // A negative height marks rows stored top-down.
    const qint64 height = std::abs(qint64{qFromLittleEndian<qint32>(info + 8)});
    if (width > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max())
        return QSize();
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// The signatures Qt's JPEG, GIF and BMP readers look for. Named here, Qt loads only the
// reader it needs: asking it to guess loads every image plugin on the machine first.
QByteArray rasterFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8"))
        return QByteArrayLiteral("jpeg");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QByteArrayLiteral("gif");
    if (bytes.startsWith("BM"))
        return QByteArrayLiteral("bmp");
    return QByteArray();
}

// Refused now, before anything large is allocated, when even the smallest page drawn from it
// would not fit: the natural size itself stays as the header gives it.
QSharedPointer<const PictureData> fitting(QSharedPointer<const RasterPicture> picture)
{
    checkFitsInMemory(picture->renderBytes(QSize(1, 1)));
    return picture;
}

QSharedPointer<const PictureData> loadMoreFormat(FileBytes file, QByteArray format)
{
    raiseAllocationLimit();
    const MoreFormatHeader more = readMoreFormatHeader(file.bytes, format);
    if (more.pixels.isEmpty())
        throw Error(ErrorNumber::InvalidPicture);
    RasterHeader header{std::move(format), more.pixels, JpegHeader{}, more.decodingBytes};
    auto picture = QSharedPointer<const RasterPicture>::create(std::move(file), std::move(header));
    // Lossless scans can be far larger than any page the machine can decode: the reader is
    // told how large, not only that memory ran short.
    const qint64 needed = picture->renderBytes(QSize(1, 1));
    if (needed > pictureMemoryLimit())
        throw Error(ErrorNumber::OutOfMemory,
                    QStringLiteral("Out of memory: %1 x %2 pixels need %3 MB to decode, a page "
                                   "may take %4 MB ")
                        .arg(more.pixels.width())
                        .arg(more.pixels.height())
                        .arg(needed / kMebibyte)
                        .arg(pictureMemoryLimit() / kMebibyte));
    return picture;
}

QSharedPointer<const PictureData> loadRaster(FileBytes file, PictureFormats formats)
{
    QByteArray& bytes = file.bytes;
    // The format comes from the content, as a misnamed page still is the picture it holds.
    const QByteArray format = rasterFormat(bytes);
    if (format.isEmpty() && formats == PictureFormats::More) {
        QByteArray more = moreFormat(bytes);
        if (!more.isEmpty())
            return loadMoreFormat(std::move(file), std::move(more));
    }
    if (format.isEmpty())
        throw Error(ErrorNumber::InvalidPicture);
    raiseAllocationLimit();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // Read by the format's own handler: left to detect it, the reader would first load and
    // ask every image plugin on the machine whether it reads this format.
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    // JPEG and BMP headers are read here: asked for the size, the reader would first load its
    // plugin on the way to the first page.
    RasterHeader header{format, QSize(), JpegHeader{}, 0};
    if (format == "jpeg")
        header.jpeg = readJpegHeader(bytes);
    QSize& pixels = header.pixels;
    pixels = format == "jpeg"  ? header.jpeg.pixels
             : format == "bmp" ? bmpHeaderSize(bytes)
                               : reader.size();
    if (!pixels.isValid()) {
        // No size in the header: decode once to learn it.
        QImage image;
        if (!reader.read(&image))
            throw Error(ErrorNumber::InvalidPicture);
        pixels = image.size();
    }
    if (pixels.isEmpty())
        throw Error(ErrorNumber::InvalidPicture);
    buffer.close();
    return fitting(QSharedPointer<const RasterPicture>::create(std::move(file), std::move(header)));
}

} // namespace

qint64 pictureMemoryLimit()
{
    static const qint64 limit = [] {
        constexpr qint64 kCeiling = 1024 * kMebibyte;
        const qint64 physical = physicalMemoryBytes();
        return physical > 0 ? std::min(kCeiling, physical / 4) : kCeiling;
    }();
    return limit;
}

QSize Picture::naturalSizeTwips() const
{
    return m_data ? m_data->naturalSizeTwips(twipsPerPixel()) : QSize();
}

QSize Picture::naturalSizeTwips(double twipsPerPixel) const
{
    return m_data ? m_data->naturalSizeTwips(twipsPerPixel) : QSize();
}

qint64 Picture::renderBytes(const QSize& pixels) const
{
    return m_data ? m_data->renderBytes(pixels) : 0;
}

QImage Picture::render(const QSize& pixels) const
{
    if (!m_data)
        return QImage();
    try {
        return m_data->render(pixels);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorNumber::OutOfMemory);
    }
}

Picture loadPicture(const QString& path, PictureFormats formats)
{
    try {
        FileBytes file = readWholeFile(path);
        if (isPlaceableWmf(file.bytes))
            return Picture(QSharedPointer<const VectorPicture>::create(wmfToSvg(file.bytes)));
        if (isEmf(file.bytes))
            return Picture(QSharedPointer<const VectorPicture>::create(emfToSvg(file.bytes)));
        return Picture(loadRaster(std::move(file), formats));
    } catch (const std::bad_alloc&) {
        throw Error(ErrorNumber::OutOfMemory);
    }
}

Picture loadRasterPicture(const QString& path, PictureFormats formats)
{
    try {
        FileBytes file = readWholeFile(path);
        if (isPlaceableWmf(file.bytes) || isEmf(file.bytes))
            return Picture();
        return Picture(loadRaster(std::move(file), formats));
    } catch (const std::bad_alloc&) {
        throw Error(ErrorNumber::OutOfMemory);
    }
}

} // namespace folivo
