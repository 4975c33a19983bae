#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace folivo {

/// The format of a PNG, WebP, TIFF, AVIF or JPEG XL picture, from the signature its content
/// starts with: "png", "webp", "tiff", "avif" or "jxl"; empty for any other content.
QByteArray moreFormat(const QByteArray& bytes);

/// What a picture of one of those formats takes to draw, from its header alone.
struct MoreFormatHeader {
    QSize pixels;
    /// The most memory its decoder and its pixels take at once while it is decoded whole and
    /// made opaque, besides the file's bytes.
    qint64 decodingBytes = 0;
};

/// Reads the header of a picture in `format`, a name moreFormat() gave. Throws Error: Invalid
/// picture for a header that cannot be read, described as a missing library when the
/// format's decoder is not installed.
MoreFormatHeader readMoreFormatHeader(const QByteArray& bytes, const QByteArray& format);

/// Decodes the picture's first frame or page whole, at the size its header gave, converted to
/// sRGB and laid on white paper where it is transparent: an opaque Format_RGB32 picture.
/// Safe on any thread. Throws Error: Invalid picture, Out of memory.
QImage decodeMoreFormat(const QByteArray& bytes, const QByteArray& format, const QSize& pixels);

/// width × height × bytesPerPixel, saturated rather than overflowing for sizes a header claims.
qint64 decodedBytes(const QSize& pixels, qint64 bytesPerPixel);

/// The description of a page whose decoder library is not installed: what to install.
QString missingDecoderDescription(const char* format, const char* package);

} // namespace folivo
