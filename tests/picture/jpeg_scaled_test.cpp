#include "picture/jpeg_scaled.h"

#include "platform/error.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

namespace folivo {
namespace {

// More than any picture here needs.
constexpr std::int64_t kMemoryLimit = std::int64_t{1} << 30;

QByteArray jpeg(const QImage& image, int quality = 95)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", quality));
    return bytes;
}

// Paper with a gradient, black strokes and a red block: edges, fine lines and flat areas.
QImage scan(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient paper(0, 0, size.width(), size.height());
    paper.setColorAt(0, QColor(250, 240, 220));
    paper.setColorAt(1, QColor(200, 190, 170));
    painter.fillRect(image.rect(), paper);
    painter.setPen(QPen(Qt::black, 3));
    for (int y = 20; y < size.height(); y += 37)
        painter.drawLine(10, y, size.width() - 10, y + 5);
    painter.fillRect(size.width() / 3, size.height() / 3, size.width() / 4, size.height() / 5,
                     Qt::red);
    return image;
}

double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

TEST(JpegScaledTest, DrawsThePageAsAFullDecodeScaledSmoothlyWould)
{
    const QImage original = scan({1240, 1754});
    const QByteArray bytes = jpeg(original);
    QImage full;
    ASSERT_TRUE(full.loadFromData(bytes, "JPEG"));
    // A reduced decode with a remainder, an exact eighth, the full size, odd small sizes.
    for (const QSize target :
         {QSize(704, 996), QSize(620, 877), QSize(1240, 1754), QSize(333, 251), QSize(1, 1)}) {
        SCOPED_TRACE(testing::Message() << target.width() << " x " << target.height());
        const std::optional<QImage> page = decodeJpegScaledDown(bytes, target, kMemoryLimit);
        ASSERT_TRUE(page.has_value());
        ASSERT_EQ(page->size(), target);
        EXPECT_EQ(page->format(), QImage::Format_RGB32);
        const QImage expected =
            full.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(meanDifference(*page, expected), 4.0);
    }
}

// libjpeg counts a partial block as a pixel; Qt's reader, asked for a size, decodes at the
// scale that size rounds down from.
TEST(JpegScaledTest, TheReductionIsTheSmallestThatCoversTheTargetAsItsDecoderRounds)
{
    const QSize scan(1001, 1403);
    struct Case {
        QSize target;
        JpegDecoder decoder;
        int denominator;
        QSize pixels;
    };
    for (const Case& c : {
             Case{{125, 175}, JpegDecoder::Libjpeg, 8, {126, 176}},
             Case{{125, 175}, JpegDecoder::QtReader, 8, {125, 175}},
             Case{{126, 150}, JpegDecoder::Libjpeg, 8, {126, 176}},
             Case{{126, 150}, JpegDecoder::QtReader, 4, {250, 350}},
             Case{{600, 700}, JpegDecoder::Libjpeg, 1, scan},
             Case{{501, 702}, JpegDecoder::Libjpeg, 2, {501, 702}},
             Case{{501, 702}, JpegDecoder::QtReader, 1, scan},
             Case{{2000, 100}, JpegDecoder::Libjpeg, 1, scan},
         }) {
        SCOPED_TRACE(testing::Message() << c.target.width() << " x " << c.target.height());
        const JpegReduction reduction = jpegReduction(scan, c.target, c.decoder);
        EXPECT_EQ(reduction.denominator, c.denominator);
        EXPECT_EQ(reduction.pixels, c.pixels);
    }
}

TEST(JpegScaledTest, GreyPicturesComeOutGreyAndLargerTargetsAreLeftToTheCaller)
{
    QImage grey(64, 48, QImage::Format_Grayscale8);
    grey.fill(90);
    const QByteArray bytes = jpeg(grey);
    const std::optional<QImage> page = decodeJpegScaledDown(bytes, {32, 24}, kMemoryLimit);
    ASSERT_TRUE(page.has_value());
    const QRgb pixel = page->pixel(16, 12);
    EXPECT_NEAR(qRed(pixel), 90, 2);
    EXPECT_EQ(qRed(pixel), qGreen(pixel));
    EXPECT_EQ(qGreen(pixel), qBlue(pixel));

    EXPECT_FALSE(decodeJpegScaledDown(bytes, {65, 48}, kMemoryLimit).has_value());
    EXPECT_FALSE(decodeJpegScaledDown(bytes, {64, 49}, kMemoryLimit).has_value());
}

TEST(JpegScaledTest, BrokenDataIsAnInvalidPictureAndACutFileShowsWhatItHas)
{
    const QByteArray bytes = jpeg(scan({400, 300}));
    try {
        decodeJpegScaledDown(QByteArray("\xFF\xD8\xFF\xE0 not a picture"), {10, 10}, kMemoryLimit);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), ErrorNumber::InvalidPicture);
    }
    // A file cut short is filled in below the cut, as viewers show it.
    const std::optional<QImage> cut =
        decodeJpegScaledDown(bytes.left(bytes.size() / 2), {200, 150}, kMemoryLimit);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->size(), QSize(200, 150));
}

// The size is read from the header as Qt's own reader reads it, whichever way the picture
// was written; a header that cannot be read gives no size.
TEST(JpegScaledTest, TheHeaderGivesTheSizeQtsReaderGives)
{
    QImage grey = scan({123, 457}).convertToFormat(QImage::Format_Grayscale8);
    for (const QByteArray& bytes : {jpeg(scan({1001, 333})), jpeg(grey, 40)}) {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        EXPECT_EQ(readJpegHeader(bytes).pixels, reader.size());
    }
    EXPECT_EQ(readJpegHeader(jpeg(scan({1001, 333}))).pixels, QSize(1001, 333));
    EXPECT_FALSE(readJpegHeader(QByteArray("\xFF\xD8\xFF\xE0 not a picture")).pixels.isValid());
    EXPECT_FALSE(readJpegHeader(jpeg(scan({50, 50})).left(20)).pixels.isValid());
    EXPECT_FALSE(readJpegHeader(QByteArray()).pixels.isValid());
}

// A progressive picture holds all its coefficients while it decodes, whatever the scale: the
// header tells how much, and past the limit libjpeg refuses before it allocates them, which
// is a lack of memory rather than a broken picture.
TEST(JpegScaledTest, ProgressivePicturesTellTheirCoefficientsAndStayWithinTheLimit)
{
    const QSize size(1000, 800);
    QByteArray progressive;
    QBuffer buffer(&progressive);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(scan(size)));

    EXPECT_EQ(readJpegHeader(jpeg(scan(size))).coefficientBytes, 0);
    const JpegHeader header = readJpegHeader(progressive);
    EXPECT_EQ(header.pixels, size);
    EXPECT_TRUE(header.scaledDecoding);
    // At least the full-resolution luminance: 125 × 100 blocks of 64 two-byte coefficients.
    ASSERT_GE(header.coefficientBytes, 125 * 100 * 128);

    const QSize page(250, 200);
    EXPECT_TRUE(decodeJpegScaledDown(progressive, page, header.coefficientBytes + (1 << 20)));
    try {
        decodeJpegScaledDown(progressive, page, header.coefficientBytes * 9 / 10);
        ADD_FAILURE() << "decoded beyond its limit";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), ErrorNumber::OutOfMemory);
    }
}

} // namespace
} // namespace folivo
