// A window's store prepared before its first paint is the one that paint draws into, so the
// preparation is never thrown away, and what is drawn is unchanged.
#include "platform/window_store.h"

#include <QBackingStore>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

namespace folivo {
namespace {

class Filled : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::darkCyan); }
};

const uchar* storeBits(QWidget& window)
{
    const QPaintDevice* device = window.backingStore()->paintDevice();
    return device && device->devType() == QInternal::Image
               ? static_cast<const QImage*>(device)->constBits()
               : nullptr;
}

TEST(WindowStore, TheFirstPaintDrawsIntoTheStorePreparedForIt)
{
    Filled window;
    window.resize(640, 480);
    window.show();
    prepareWindowStore(window);
    const uchar* prepared = storeBits(window);
    ASSERT_NE(prepared, nullptr);
    EXPECT_EQ(window.backingStore()->size(), QSize(640, 480));

    window.repaint();
    EXPECT_EQ(storeBits(window), prepared);
    const QImage drawn = window.grab().toImage();
    EXPECT_EQ(drawn.pixelColor(0, 0), QColor(Qt::darkCyan));
    EXPECT_EQ(drawn.pixelColor(639, 479), QColor(Qt::darkCyan));
}

} // namespace
} // namespace folivo
