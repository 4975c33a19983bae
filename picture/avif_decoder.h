#pragma once

#include "picture/more_formats.h"

namespace folivo {

/// An AVIF picture's size and decoding cost, from its container alone. Throws Error as
/// readMoreFormatHeader().
MoreFormatHeader readAvifHeader(const QByteArray& bytes);

/// The first frame of an AVIF picture, 8 bits a channel with its alpha, tagged with its colour
/// space. Throws Error: Invalid picture when the frame is not `pixels` large or cannot be
/// decoded.
QImage decodeAvif(const QByteArray& bytes, const QSize& pixels);

} // namespace folivo
