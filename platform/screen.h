#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

namespace folivo {

/// Twips (1/1440 inch) per pixel of the primary screen: 15 at 96 DPI.
double twipsPerPixel();

/// Whole twips to whole pixels at the screen's logical DPI, rounded to nearest.
int twipsToPixels(double twips);
/// Pixels to whole twips, rounded to nearest.
int pixelsToTwips(double pixels);
/// The same two conversions at a given resolution, for threads that must not ask the screen.
int twipsToPixels(double twips, double twipsPerPixel);
int pixelsToTwips(double pixels, double twipsPerPixel);
/// A rectangle given in twips, in whole pixels.
QRect twipsRect(int left, int top, int width, int height);

/// The windows' font "ＭＳ Ｐゴシック" at pointSize, normal weight.
QFont fixedFont(double pointSize);
/// fontconfig does not know that family: map it to IPA P Gothic, which has its metrics.
void substituteFixedFont();

/// The primary screen's available width and height, in twips.
QSize screenSizeTwips();

} // namespace folivo
