#pragma once

class QImage;

namespace folivo {

class ImageControl;

/// The image the control draws: the control's size in device pixels, so that a page on a
/// high-density screen is drawn one to one.
const QImage& shownImage(const ImageControl& control);

/// How many pictures the control drew from an image prepared ahead.
int preparedDrawn(const ImageControl& control);

} // namespace folivo
