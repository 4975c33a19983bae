#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <optional>

namespace folivo {

/// Decodes the JPEG in `bytes` straight to exactly `target` pixels, when the target is no
/// larger than the picture: libjpeg decodes at the smallest of its 1/8 … 8/8 scales that
/// still covers the target, and each row is averaged down into the page as it arrives. No
/// full-size (or half-size) copy of the picture is ever held, so a page costs its own pixels
/// and little else.
///
/// Returns std::nullopt when this path does not apply (a target larger than the picture, or
/// a colour model other than grey, YCbCr or RGB): the caller decodes another way. Throws
/// Error(InvalidPicture) when libjpeg gives up on the data.
std::optional<QImage> decodeJpegScaledDown(const QByteArray& bytes, const QSize& target);

} // namespace folivo
