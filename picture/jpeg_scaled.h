#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace folivo {

/// Gets a JPEG's size in pixels; gives the size to draw it at, or an empty size for none.
using TargetFor = std::function<QSize(const QSize& pixels)>;

/// Who decodes a JPEG at a reduced scale, which decides how the reduced size is rounded.
enum class JpegDecoder {
    /// libjpeg itself: rounded up, a partial block of pixels still gives one.
    Libjpeg,
    /// Qt's reader asked for a scaled size: rounded down. Asked for that size, it decodes at
    /// exactly that reduction and hands back the size asked for.
    QtReader,
};

/// A scale libjpeg decodes a JPEG at, and the size that gives.
struct JpegReduction {
    int denominator = 1; ///< 8, 4, 2, or 1 for the whole picture
    QSize pixels;
};

/// The smallest of libjpeg's fast scales (1/8, 1/4, 1/2, several times faster than the whole
/// picture) at which a JPEG of `pixels` still gives at least `target` as `decoder` rounds it;
/// the whole picture when none does.
JpegReduction jpegReduction(const QSize& pixels, const QSize& target, JpegDecoder decoder);

/// Decodes the JPEG in `bytes` straight to exactly `target` pixels, when the target is no
/// larger than the picture: libjpeg decodes at the smallest of its 1/8, 1/4, 1/2 and whole
/// scales that still covers the target, and each row is averaged down into the page as it
/// arrives. No full-size (or half-size) copy of the picture is ever held, so a page costs
/// its own pixels and little else.
///
/// libjpeg's own buffers stay within `memoryLimit` bytes: a progressive picture holds all its
/// coefficients, whatever the scale it is decoded at.
///
/// Returns std::nullopt when this path does not apply (a target larger than the picture, or
/// a colour model other than grey, YCbCr or RGB): the caller decodes another way. Throws
/// Error(InvalidPicture) when libjpeg gives up on the data, Error(OutOfMemory) when its
/// buffers would exceed the limit.
std::optional<QImage> decodeJpegScaledDown(const QByteArray& bytes, const QSize& target,
                                           std::int64_t memoryLimit);

/// What a JPEG's header tells of the picture and of the memory it takes to decode.
struct JpegHeader {
    /// Invalid when libjpeg cannot read the header: the same size Qt's JPEG reader gives,
    /// without loading the reader.
    QSize pixels;
    /// The coefficients of the whole picture, which libjpeg holds while it decodes a picture
    /// stored in several scans (progressive ones): nothing for a single scan.
    std::int64_t coefficientBytes = 0;
    /// Whether decodeJpegScaledDown decodes its colour model (grey, YCbCr, RGB).
    bool scaledDecoding = false;
};
JpegHeader readJpegHeader(const QByteArray& bytes);

/// The same, reading the file at `path` as it decodes instead of holding its bytes; the size
/// to draw at comes from `targetFor` once the header is read. A null image when `targetFor`
/// wants none; std::nullopt also when the file cannot be opened or is no JPEG. The pixels
/// live in a mapping of their own, kept for the next page or given back to the system when
/// the last copy goes, so that pages drawn on worker threads leave nothing behind in those
/// threads' memory pools.
std::optional<QImage> decodeJpegFileScaledDown(const QString& path, const TargetFor& targetFor,
                                               std::int64_t memoryLimit);

} // namespace folivo
