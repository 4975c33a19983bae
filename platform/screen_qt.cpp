#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <cmath>

namespace folivo {
namespace {

const QString kFixedFontFamily = QStringLiteral("ＭＳ Ｐゴシック");

} // namespace

double twipsPerPixel()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int twipsToPixels(double twips)
{
    return twipsToPixels(twips, twipsPerPixel());
}

int pixelsToTwips(double pixels)
{
    return pixelsToTwips(pixels, twipsPerPixel());
}

int twipsToPixels(double twips, double twipsPerPixel)
{
    return static_cast<int>(std::nearbyint(twips / twipsPerPixel));
}

int pixelsToTwips(double pixels, double twipsPerPixel)
{
    return static_cast<int>(std::nearbyint(pixels * twipsPerPixel));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

QFont fixedFont(double pointSize)
{
    QFont font(kFixedFontFamily);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

void substituteFixedFont()
{
    QFont::insertSubstitution(kFixedFontFamily, QStringLiteral("IPAPGothic"));
}

QSize screenSizeTwips()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize pixels = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    return QSize(pixelsToTwips(pixels.width()), pixelsToTwips(pixels.height()));
}

} // namespace folivo
