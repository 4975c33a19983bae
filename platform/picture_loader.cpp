#include "platform/picture_loader.h"

#include "platform/error.h"
#include "platform/jpeg_scaled.h"
#include "platform/large_buffer.h"
#include "platform/metafile_svg.h"
#include "platform/picture_data.h"
#include "platform/screen.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <optional>

namespace folivo {
namespace {

// Pictures are decoded to 32 bits a pixel. A reading machine holds a 6000 × 8000 scan
// (192 MB) with room to spare; far beyond that a picture is refused before anything is
// allocated.
constexpr int kAllocationLimitMb = 1024;
constexpr qint64 kAllocationLimitBytes = qint64{kAllocationLimitMb} * 1024 * 1024;
constexpr qint64 kBytesPerPixel = 4;

void raiseAllocationLimit()
{
    static const bool raised = [] {
        QImageReader::setAllocationLimit(kAllocationLimitMb);
        return true;
    }();
    Q_UNUSED(raised);
}

void checkFitsInMemory(const QSize& pixels)
{
    // Divide rather than multiply: a header may claim sizes whose product overflows.
    const qint64 width = pixels.width();
    const qint64 height = pixels.height();
    if (width > 0 && height > 0 && width > kAllocationLimitBytes / kBytesPerPixel / height)
        throw Error(ErrorNumber::OutOfMemory);
}

QImage scaledExactly(const QImage& image, const QSize& pixels)
{
    if (image.size() == pixels)
        return image;
    QImage scaled = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        throw Error(ErrorNumber::OutOfMemory);
    return scaled;
}

// libjpeg decodes at 1/2, 1/4 and 1/8 of the full size several times faster than at full
// size: the largest reduction that still leaves at least the target's pixels.
QSize jpegDecodeSize(const QSize& full, const QSize& target)
{
    for (const int denominator : {8, 4, 2}) {
        const QSize reduced(full.width() / denominator, full.height() / denominator);
        if (reduced.width() >= target.width() && reduced.height() >= target.height())
            return reduced;
    }
    return full;
}

/// A file's bytes. Those of a large file lie in a buffer that goes back to a pool for the
/// next page's, and `bytes` only shows them: it must not outlive `storage`.
struct FileBytes {
    std::shared_ptr<LargeBuffer> storage;
    QByteArray bytes;
};

/// JPEG, GIF and BMP: the file's bytes, decoded only when the page is drawn.
class RasterPicture final : public PictureData {
public:
    RasterPicture(FileBytes file, QByteArray format, QSize pixels)
        : m_storage(std::move(file.storage))
        , m_bytes(std::move(file.bytes))
        , m_format(std::move(format))
        , m_pixels(pixels)
    {
    }

    QSize naturalSizeTwips(double twipsPerPixel) const override
    {
        return QSize(pixelsToTwips(m_pixels.width(), twipsPerPixel),
                     pixelsToTwips(m_pixels.height(), twipsPerPixel));
    }

    QImage render(const QSize& pixels) const override
    {
        if (pixels.isEmpty())
            return QImage();
        checkFitsInMemory(pixels);
        if (m_format == "jpeg") {
            if (std::optional<QImage> image = decodeJpegScaledDown(m_bytes, pixels))
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
            const QSize decodeSize = jpegDecodeSize(m_pixels, pixels);
            if (decodeSize != m_pixels)
                reader.setScaledSize(decodeSize);
        }
        QImage image;
        if (!reader.read(&image) || image.isNull())
            throw Error(ErrorNumber::InvalidPicture);
        return scaledExactly(image, pixels);
    }

private:
    std::shared_ptr<LargeBuffer> m_storage; // first: it outlives the view of it
    QByteArray m_bytes;
    QByteArray m_format;
    QSize m_pixels;
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

    QImage render(const QSize& pixels) const override
    {
        if (pixels.isEmpty())
            return QImage();
        checkFitsInMemory(pixels);
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
LargeBufferPool& fileBytesPool()
{
    // Never destroyed: a picture may be let go of while the program ends.
    static auto* const pool = new LargeBufferPool(1, std::size_t{64} << 20);
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
    if (info.size() > kAllocationLimitBytes)
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
    std::shared_ptr<LargeBuffer> storage(
        new LargeBuffer(fileBytesPool().take(static_cast<std::size_t>(expected))),
        [](LargeBuffer* buffer) {
            fileBytesPool().give(std::move(*buffer));
            delete buffer;
        });
    if (storage->isNull())
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

QSharedPointer<const PictureData> loadRaster(FileBytes file)
{
    QByteArray& bytes = file.bytes;
    raiseAllocationLimit();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The format comes from the content, as a misnamed page still is the picture it holds.
    const QByteArray format = rasterFormat(bytes);
    if (format.isEmpty())
        throw Error(ErrorNumber::InvalidPicture);
    QImageReader reader(&buffer, format);
    // Read by the format's own handler: left to detect it, the reader would first load and
    // ask every image plugin on the machine whether it reads this format.
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    // JPEG and BMP headers are read here: asked for the size, the reader would first load its
    // plugin, a few ms on the way to the first page.
    QSize pixels = format == "jpeg"  ? jpegHeaderSize(bytes)
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
    checkFitsInMemory(pixels);
    buffer.close();
    return QSharedPointer<const RasterPicture>::create(std::move(file), format, pixels);
}

} // namespace

QSize Picture::naturalSizeTwips() const
{
    return m_data ? m_data->naturalSizeTwips(twipsPerPixel()) : QSize();
}

QSize Picture::naturalSizeTwips(double twipsPerPixel) const
{
    return m_data ? m_data->naturalSizeTwips(twipsPerPixel) : QSize();
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

Picture loadPicture(const QString& path)
{
    try {
        FileBytes file = readWholeFile(path);
        if (isPlaceableWmf(file.bytes))
            return Picture(QSharedPointer<const VectorPicture>::create(wmfToSvg(file.bytes)));
        if (isEmf(file.bytes))
            return Picture(QSharedPointer<const VectorPicture>::create(emfToSvg(file.bytes)));
        return Picture(loadRaster(std::move(file)));
    } catch (const std::bad_alloc&) {
        throw Error(ErrorNumber::OutOfMemory);
    }
}

Picture loadRasterPicture(const QString& path)
{
    try {
        FileBytes file = readWholeFile(path);
        if (isPlaceableWmf(file.bytes) || isEmf(file.bytes))
            return Picture();
        return Picture(loadRaster(std::move(file)));
    } catch (const std::bad_alloc&) {
        throw Error(ErrorNumber::OutOfMemory);
    }
}

} // namespace folivo
