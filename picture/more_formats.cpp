#include "picture/more_formats.h"

#include "picture/avif_decoder.h"
#include "picture/jxl_decoder.h"
#include "platform/error.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <limits>

namespace folivo {
namespace {

constexpr qint64 kUnbounded = std::numeric_limits<qint64>::max();
// Pages are drawn from Format_RGB32 pixels.
constexpr qint64 kShownBytesPerPixel = 4;

bool isIsoMediaOf(const QByteArray& bytes, const QByteArray& brand)
{
    // An ISO media file starts with its file-type box: size, "ftyp", the major brand, a
    // version, then the compatible brands.
    if (bytes.size() < 16 || bytes.mid(4, 4) != "ftyp")
        return false;
    if (bytes.mid(8, 4) == brand)
        return true;
    const qint64 boxEnd =
        std::min<qint64>(qFromBigEndian<quint32>(bytes.constData()), bytes.size());
    for (qint64 at = 16; at + 4 <= boxEnd; at += 4) {
        if (bytes.mid(at, 4) == brand)
            return true;
    }
    return false;
}

// Qt's PNG reader tells the size too, but the header is all that is needed.
QSize pngHeaderSize(const QByteArray& bytes)
{
    constexpr int kHeaderEnd = 8 + 8 + 13;
    if (bytes.size() < kHeaderEnd || bytes.mid(12, 4) != "IHDR")
        return QSize();
    const quint32 width = qFromBigEndian<quint32>(bytes.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(bytes.constData() + 20);
    constexpr quint32 kLargest = std::numeric_limits<int>::max();
    if (width > kLargest || height > kLargest)
        return QSize();
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// PNG, WebP and TIFF through Qt's readers, the format named so that Qt loads only its plugin.
void openReader(QImageReader& reader, QBuffer& buffer, const QByteArray& format)
{
    buffer.open(QIODevice::ReadOnly);
    reader.setDevice(&buffer);
    reader.setFormat(format);
    reader.setAutoDetectImageFormat(false);
    // As JPEG pages are shown: an orientation tag is not followed.
    reader.setAutoTransform(false);
}

MoreFormatHeader readQtHeader(const QByteArray& bytes, const QByteArray& format)
{
    QByteArray shared = bytes;
    QBuffer buffer(&shared);
    QImageReader reader;
    openReader(reader, buffer, format);
    const QSize pixels = format == "png" ? pngHeaderSize(bytes) : reader.size();
    if (!pixels.isValid())
        throw Error(ErrorNumber::InvalidPicture);
    // The reader decodes in the header's own depth (16-bit channels into 8 bytes a pixel,
    // grey into 1 or 2); anything but 32-bit pixels is converted into a second picture.
    const QImage::Format decoded = reader.imageFormat();
    const qint64 depth =
        decoded == QImage::Format_Invalid ? 8 : QImage::toPixelFormat(decoded).bitsPerPixel() / 8;
    const bool shownAsDecoded = decoded == QImage::Format_RGB32 ||
                                decoded == QImage::Format_ARGB32 ||
                                decoded == QImage::Format_ARGB32_Premultiplied;
    return MoreFormatHeader{
        pixels, decodedBytes(pixels, depth + (shownAsDecoded ? 0 : kShownBytesPerPixel))};
}

QImage readWithQt(const QByteArray& bytes, const QByteArray& format, const QSize& pixels)
{
    QByteArray shared = bytes;
    QBuffer buffer(&shared);
    QImageReader reader;
    openReader(reader, buffer, format);
    QImage image;
    if (!reader.read(&image) || image.size() != pixels)
        throw Error(ErrorNumber::InvalidPicture);
    return image;
}

// Into sRGB, and onto white paper: a page is printed matter, and what a picture leaves
// transparent is the paper showing through.
QImage opaqueSrgb(QImage image)
{
    const bool alpha = image.hasAlphaChannel();
    image.convertTo(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        throw Error(ErrorNumber::OutOfMemory);
    const QColorSpace space = image.colorSpace();
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb))
        image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    if (!alpha)
        return image;
    // Premultiplied, a colour over white is the colour plus what its alpha leaves of the white.
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int paper = 255 - qAlpha(pixel);
            line[x] = qRgb(qRed(pixel) + paper, qGreen(pixel) + paper, qBlue(pixel) + paper);
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

} // namespace

QByteArray moreFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QByteArrayLiteral("png");
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QByteArrayLiteral("webp");
    // Classic TIFF and BigTIFF, either byte order.
    if (bytes.startsWith(QByteArrayLiteral("II*\0")) ||
        bytes.startsWith(QByteArrayLiteral("MM\0*")) ||
        bytes.startsWith(QByteArrayLiteral("II+\0")) ||
        bytes.startsWith(QByteArrayLiteral("MM\0+")))
        return QByteArrayLiteral("tiff");
    if (isIsoMediaOf(bytes, "avif") || isIsoMediaOf(bytes, "avis"))
        return QByteArrayLiteral("avif");
    // A bare codestream, or one in its container.
    if (bytes.startsWith("\xFF\x0A") ||
        bytes.startsWith(QByteArrayLiteral("\0\0\0\x0CJXL \x0D\x0A\x87\x0A")))
        return QByteArrayLiteral("jxl");
    return QByteArray();
}

MoreFormatHeader readMoreFormatHeader(const QByteArray& bytes, const QByteArray& format)
{
    if (format == "avif")
        return readAvifHeader(bytes);
    if (format == "jxl")
        return readJxlHeader(bytes);
    return readQtHeader(bytes, format);
}

QImage decodeMoreFormat(const QByteArray& bytes, const QByteArray& format, const QSize& pixels)
{
    if (format == "avif")
        return opaqueSrgb(decodeAvif(bytes, pixels));
    if (format == "jxl")
        return opaqueSrgb(decodeJxl(bytes, pixels));
    return opaqueSrgb(readWithQt(bytes, format, pixels));
}

qint64 decodedBytes(const QSize& pixels, qint64 bytesPerPixel)
{
    const qint64 width = std::max(pixels.width(), 0);
    const qint64 height = std::max(pixels.height(), 0);
    if (width > 0 && height > 0 && bytesPerPixel > kUnbounded / width / height)
        return kUnbounded;
    return width * height * bytesPerPixel;
}

QString missingDecoderDescription(const char* format, const char* package)
{
    return QStringLiteral("%1 decoder missing: install %2")
        .arg(QLatin1String(format), QLatin1String(package));
}

} // namespace folivo
