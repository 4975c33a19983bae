#pragma once

#include "picture/more_formats.h"

namespace folivo {

/// A JPEG XL picture's size and decoding cost, from its basic information. Throws Error as
/// readMoreFormatHeader().
MoreFormatHeader readJxlHeader(const QByteArray& bytes);

/// The first frame of a JPEG XL picture, 8 bits a channel with its alpha, tagged with the
/// colour space of its pixels. Throws Error: Invalid picture when the frame is not `pixels`
/// large or cannot be decoded.
QImage decodeJxl(const QByteArray& bytes, const QSize& pixels);

} // namespace folivo
