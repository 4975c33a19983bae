#include "picture/picture_loader.h"

#include "picture/metafile_svg.h"
#include "platform/error.h"
#include "support/big_pictures.h"
#include "support/peak_memory.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

namespace folivo {
namespace {

// The tests run at 96 DPI: 15 twips a pixel.
constexpr int kTwipsPerPixel = 15;

class Bytes {
public:
    Bytes& u16(int value)
    {
        const quint16 le = qToLittleEndian(static_cast<quint16>(value));
        m_data.append(reinterpret_cast<const char*>(&le), 2);
        return *this;
    }
    Bytes& u32(qint64 value)
    {
        const quint32 le = qToLittleEndian(static_cast<quint32>(value));
        m_data.append(reinterpret_cast<const char*>(&le), 4);
        return *this;
    }
    Bytes& raw(const QByteArray& bytes)
    {
        m_data.append(bytes);
        return *this;
    }
    const QByteArray& data() const { return m_data; }
    qsizetype size() const { return m_data.size(); }

private:
    QByteArray m_data;
};

// A WMF record: its size in 16-bit words, its function, its parameters.
void wmfRecord(Bytes& out, int function, std::initializer_list<int> params,
               const QByteArray& tail = QByteArray())
{
    out.u32(3 + static_cast<qint64>(params.size()) + tail.size() / 2).u16(function);
    for (const int p : params)
        out.u16(p);
    out.raw(tail);
}

/// A placeable WMF: a 2000 × 1000 page at 1440 units an inch with a solid red rectangle
/// from (500, 200) to (1500, 800), drawn in transparent background mode, and a line of
/// Japanese text in CP932.
QByteArray placeableWmf()
{
    Bytes records;
    wmfRecord(records, 0x020B, {0, 0});       // SetWindowOrg
    wmfRecord(records, 0x020C, {1000, 2000}); // SetWindowExt
    wmfRecord(records, 0x0102, {1});          // SetBkMode transparent
    Bytes brush;
    brush.u16(0).u32(0x000000FF).u16(0);               // solid, red (COLORREF 0x00BBGGRR)
    wmfRecord(records, 0x02FC, {}, brush.data());      // CreateBrushIndirect
    wmfRecord(records, 0x012D, {0});                   // SelectObject
    wmfRecord(records, 0x041B, {800, 1500, 200, 500}); // Rectangle b, r, t, l
    const QByteArray text("\x82\xa0\x82\xa2", 4);      // あい in CP932
    Bytes textTail;
    textTail.raw(text).u16(900).u16(100);
    wmfRecord(records, 0x0521, {static_cast<int>(text.size())}, textTail.data()); // TextOut
    wmfRecord(records, 0x0000, {});                                               // EOF

    Bytes header;
    header.u16(1).u16(9).u16(0x0300).u32((18 + records.size()) / 2).u16(1).u32(7).u16(0);

    Bytes placeable;
    placeable.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(2000).u16(1000).u16(1440).u32(0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(placeable.data().constData() + 2 * i);
    placeable.u16(checksum);
    return placeable.raw(header.data()).raw(records.data()).data();
}

/// An EMF whose frame is 50.8 × 25.4 mm (2 × 1 inches) with a green rectangle in the
/// middle half of its 100 × 50 reference-pixel bounds.
QByteArray minimalEmf()
{
    Bytes records;
    records.u32(39).u32(24).u32(1).u32(0).u32(0x0000FF00).u32(0); // CreateBrushIndirect
    records.u32(37).u32(12).u32(1);                               // SelectObject
    records.u32(43).u32(24).u32(25).u32(12).u32(75).u32(37);      // Rectangle
    records.u32(14).u32(20).u32(0).u32(16).u32(20);               // EOF
    const int headerSize = 88;
    Bytes emf;
    emf.u32(1).u32(headerSize);
    emf.u32(0).u32(0).u32(99).u32(49);     // bounds, pixels
    emf.u32(0).u32(0).u32(5080).u32(2540); // frame, 0.01 mm
    emf.u32(0x464D4520).u32(0x10000).u32(headerSize + records.size()).u32(5);
    emf.u16(2).u16(0).u32(0).u32(0).u32(0);
    emf.u32(100).u32(50).u32(26).u32(13); // reference device pixels and millimetres
    return emf.raw(records.data()).data();
}

class PictureLoaderTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QString writeImage(const QString& name, const QImage& image, const char* format)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(image.save(path, format)) << name.toStdString();
        return path;
    }

    QTemporaryDir m_dir;
};

int errorNumberOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

bool near(QColor actual, QColor expected, int tolerance = 40)
{
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance &&
           std::abs(actual.alpha() - expected.alpha()) <= tolerance;
}

// Left half red, right half blue.
QImage twoColourImage(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
    painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), Qt::blue);
    return image;
}

// Qt writes no GIF, so the test writes its own: palette red, blue, green, black, and pixel
// codes sent two at a time after a clear code, which keeps every LZW code 3 bits wide.
using PaletteIndex = std::function<int(int x, int y)>;

QByteArray gifBytes(const QSize& size, const std::vector<PaletteIndex>& frames)
{
    Bytes gif;
    gif.raw("GIF89a").u16(size.width()).u16(size.height());
    gif.raw(QByteArray("\xf1\x00\x00", 3));
    gif.raw(QByteArray("\xff\x00\x00\x00\x00\xff\x00\xff\x00\x00\x00\x00", 12));
    for (const PaletteIndex& pixel : frames) {
        gif.raw(QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8)); // 0.1 s a frame
        gif.raw(QByteArray("\x2c", 1)).u16(0).u16(0).u16(size.width()).u16(size.height());
        gif.raw(QByteArray("\x00\x02", 2)); // no local palette; LZW minimum code size 2
        QByteArray packed;
        quint32 bits = 0;
        int bitCount = 0;
        const auto putCode = [&](int code) {
            bits |= static_cast<quint32>(code) << bitCount;
            bitCount += 3;
            while (bitCount >= 8) {
                packed.append(static_cast<char>(bits & 0xff));
                bits >>= 8;
                bitCount -= 8;
            }
        };
        const int count = size.width() * size.height();
        for (int i = 0; i < count; ++i) {
            if (i % 2 == 0)
                putCode(4); // clear
            putCode(pixel(i % size.width(), i / size.width()));
        }
        putCode(5); // end of information
        if (bitCount > 0)
            packed.append(static_cast<char>(bits & 0xff));
        for (qsizetype at = 0; at < packed.size(); at += 255) {
            const QByteArray block = packed.mid(at, 255);
            gif.raw(QByteArray(1, static_cast<char>(block.size()))).raw(block);
        }
        gif.raw(QByteArray(1, '\0'));
    }
    gif.raw(QByteArray(1, '\x3b'));
    return gif.data();
}

QByteArray encoded(const QImage& image, const char* format)
{
    if (qstrcmp(format, "GIF") == 0) {
        return gifBytes(image.size(), {[&image](int x, int y) {
                            return image.pixelColor(x, y) == QColor(Qt::red) ? 0 : 1;
                        }});
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

struct RasterCase {
    const char* fileName;
    const char* format;
};

void PrintTo(const RasterCase& c, std::ostream* os)
{
    *os << c.fileName << " as " << c.format;
}

class RasterPictures : public PictureLoaderTest,
                       public ::testing::WithParamInterface<RasterCase> {};

TEST_P(RasterPictures, NaturalSizeIsPixelsInTwipsAndRenderScales)
{
    const QString path = write(QString::fromLatin1(GetParam().fileName),
                               encoded(twoColourImage({40, 30}), GetParam().format));
    const Picture picture = loadPicture(path, PictureFormats::Classic);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.naturalSizeTwips(), QSize(40 * kTwipsPerPixel, 30 * kTwipsPerPixel));

    const QImage shown = picture.render(QSize(81, 61));
    ASSERT_EQ(shown.size(), QSize(81, 61));
    EXPECT_TRUE(near(shown.pixelColor(10, 30), Qt::red))
        << shown.pixelColor(10, 30).name().toStdString();
    EXPECT_TRUE(near(shown.pixelColor(70, 30), Qt::blue));
}

INSTANTIATE_TEST_SUITE_P(Formats, RasterPictures,
                         ::testing::Values(RasterCase{"page.jpg", "JPEG"},
                                           RasterCase{"page.gif", "GIF"},
                                           RasterCase{"page.bmp", "BMP"},
                                           // The content decides, not the name.
                                           RasterCase{"misnamed.jpg", "BMP"}));

TEST_F(PictureLoaderTest, AnimatedGifShowsItsFirstFrame)
{
    const QByteArray gif =
        gifBytes({8, 6}, {[](int, int) { return 0; }, [](int, int) { return 1; }});
    const Picture picture =
        loadPicture(write(QStringLiteral("anim.gif"), gif), PictureFormats::Classic);
    EXPECT_EQ(picture.naturalSizeTwips(), QSize(8 * kTwipsPerPixel, 6 * kTwipsPerPixel));
    const QImage shown = picture.render(QSize(8, 6));
    EXPECT_TRUE(near(shown.pixelColor(4, 3), Qt::red));
}

TEST_F(PictureLoaderTest, LargeScanLoadsAndRendersAtFullAndReducedSize)
{
    const QSize scan(6000, 8000);
    const QString path =
        writeImage(QStringLiteral("scan.jpg"),
                   twoColourImage(scan).convertToFormat(QImage::Format_RGB888), "JPEG");
    const Picture picture = loadPicture(path, PictureFormats::Classic);
    EXPECT_EQ(picture.naturalSizeTwips(), scan * kTwipsPerPixel);

    const QImage page = picture.render(QSize(667, 889));
    ASSERT_EQ(page.size(), QSize(667, 889));
    EXPECT_TRUE(near(page.pixelColor(100, 400), Qt::red));
    EXPECT_TRUE(near(page.pixelColor(600, 400), Qt::blue));

    const QImage full = picture.render(scan);
    EXPECT_EQ(full.size(), scan);
}

constexpr qint64 kMegabyte = qint64{1024} * 1024;

// Far beyond what memory holds at its natural size, a JPEG still shows: it is decoded at the
// libjpeg scale nearest above the size it is drawn at, fitted or zoomed in.
TEST_F(PictureLoaderTest, HugeJpegShowsAtTheSizeItIsDrawnWithinLittleMemory)
{
    const QSize natural(20000, 20000);
    const QString path = write(QStringLiteral("huge.jpg"), test::uniformJpeg(natural));
    const test::PeakMemory peak;
    const Picture picture = loadPicture(path, PictureFormats::Classic);
    EXPECT_EQ(picture.naturalSizeTwips(), natural * kTwipsPerPixel);
    const QSize zoomed(2700, 2700);
    for (const QSize shown : {QSize(900, 900), zoomed}) {
        const QImage page = picture.render(shown);
        ASSERT_EQ(page.size(), shown);
        EXPECT_TRUE(
            near(page.pixelColor(shown.width() / 2, shown.height() - 1), QColor(128, 128, 128), 2));
    }
    // The page's pixels and little else: not even the quarter-scale picture (100 MB).
    if (peak.valid()) {
        EXPECT_LT(peak.grownBytes(), zoomed.width() * zoomed.height() * 4 + 48 * kMegabyte);
    }
}

// A picture that no page drawn from it would fit is refused as it loads, before its pixels or
// libjpeg's buffers are allocated: a progressive JPEG holds every coefficient while it
// decodes (here 1.2 GB, though its pixels would take 784 MB), a GIF is decoded whole.
TEST_F(PictureLoaderTest, PicturesNeedingMoreThanTheLimitFailOutOfMemoryAsTheyLoad)
{
    const QString progressive =
        write(QStringLiteral("progressive.jpg"), test::progressiveJpegHeader(QSize(14000, 14000)));
    const QString gif = write(QStringLiteral("huge.gif"), test::uniformGif(QSize(20000, 20000)));
    const test::PeakMemory peak;
    EXPECT_EQ(errorNumberOf([&] {
                  loadPicture(progressive, PictureFormats::Classic).render(QSize(700, 700));
              }),
              ErrorNumber::OutOfMemory);
    EXPECT_EQ(errorNumberOf([&] { loadPicture(gif, PictureFormats::Classic); }),
              ErrorNumber::OutOfMemory);
    if (peak.valid()) {
        EXPECT_LT(peak.grownBytes(), 48 * kMegabyte);
    }
}

// Pages of megabytes share buffers: the bytes of a page let go of are reused for the next
// page read. A page still held must keep its own.
TEST_F(PictureLoaderTest, LargePagesKeepTheirOwnBytesWhileOthersAreRead)
{
    // Noise does not compress: each file is far larger than a small picture's.
    const auto noise = [](int seed) {
        QImage image(700, 500, QImage::Format_RGB32);
        quint32 state = static_cast<quint32>(seed) * 2654435761U + 1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                state = state * 1664525U + 1013904223U;
                image.setPixel(x, y, state >> 8);
            }
        }
        return image;
    };
    QStringList paths;
    for (int page = 0; page < 3; ++page) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(noise(page).save(&buffer, "JPEG", 95));
        paths << write(QStringLiteral("page%1.jpg").arg(page), jpeg);
        ASSERT_GT(QFileInfo(paths.last()).size(), 300 * 1024);
    }
    const QSize shown(350, 250);
    const Picture held = loadPicture(paths[0], PictureFormats::Classic);
    const QImage before = held.render(shown);
    loadPicture(paths[1], PictureFormats::Classic)
        .render(shown); // let go at once: its buffer waits for the next page
    const Picture next = loadPicture(paths[2], PictureFormats::Classic);
    EXPECT_EQ(held.render(shown), before);
    EXPECT_NE(next.render(shown), before);
    // As a page read alone draws, also where the reader takes over from the scaled decode.
    for (const QSize size : {shown, QSize(700, 500), QSize(900, 600)}) {
        EXPECT_EQ(held.render(size), loadPicture(paths[0], PictureFormats::Classic).render(size))
            << size.width();
        EXPECT_EQ(next.render(size), loadPicture(paths[2], PictureFormats::Classic).render(size))
            << size.width();
    }
}

TEST_F(PictureLoaderTest, PlaceableWmfIsDrawnOnItsWholePageWithSolidFills)
{
    const Picture picture =
        loadPicture(write(QStringLiteral("drawing.wmf"), placeableWmf()), PictureFormats::Classic);
    EXPECT_EQ(picture.naturalSizeTwips(), QSize(2000, 1000));

    const QImage shown = picture.render(QSize(200, 100));
    ASSERT_EQ(shown.size(), QSize(200, 100));
    // Inside the rectangle: solid red, not faded by the transparent background mode.
    EXPECT_TRUE(near(shown.pixelColor(100, 50), QColor(255, 0, 0, 255), 8))
        << shown.pixelColor(100, 50).name(QColor::HexArgb).toStdString();
    // Outside it, in the page's margin: nothing is painted, so the rectangle was not
    // stretched over the whole picture.
    EXPECT_EQ(shown.pixelColor(20, 50).alpha(), 0);
    EXPECT_EQ(shown.pixelColor(180, 50).alpha(), 0);
}

TEST_F(PictureLoaderTest, WmfTextArrivesAsUnicode)
{
    const MetafileSvg svg = wmfToSvg(placeableWmf());
    EXPECT_TRUE(QString::fromUtf8(svg.svg).contains(QStringLiteral("あい")));
    EXPECT_FALSE(svg.svg.contains("fill-opacity"));
}

// libwmf draws no WMF at all without its fonts: the message must name what the system
// lacks rather than blame the picture, with the number of a picture that cannot be shown.
TEST_F(PictureLoaderTest, WmfWithoutItsFontsSaysTheFontsAreMissing)
{
    QTemporaryDir noFonts;
    ASSERT_TRUE(noFonts.isValid());
    try {
        wmfToSvg(placeableWmf(), noFonts.path());
        ADD_FAILURE() << "drawn without fonts";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), ErrorNumber::InvalidPicture);
        EXPECT_EQ(
            error.description(),
            QStringLiteral("WMF fonts missing: install fonts-urw-base35 (%1)").arg(noFonts.path()));
    }

    // The same fonts in another folder: they are read from there.
    QTemporaryDir fonts;
    ASSERT_TRUE(fonts.isValid());
    const QDir installed(wmfFontFolder());
    for (const QString& name : installed.entryList({QStringLiteral("*.t1")}, QDir::Files))
        ASSERT_TRUE(QFile::link(installed.filePath(name), fonts.filePath(name)));
    EXPECT_TRUE(QString::fromUtf8(wmfToSvg(placeableWmf(), fonts.path()).svg)
                    .contains(QStringLiteral("あい")));
}

TEST_F(PictureLoaderTest, EmfNaturalSizeComesFromItsFrame)
{
    const Picture picture =
        loadPicture(write(QStringLiteral("drawing.emf"), minimalEmf()), PictureFormats::Classic);
    EXPECT_EQ(picture.naturalSizeTwips(), QSize(2880, 1440));

    const QImage shown = picture.render(QSize(200, 100));
    ASSERT_EQ(shown.size(), QSize(200, 100));
    EXPECT_TRUE(near(shown.pixelColor(100, 50), QColor(0, 255, 0, 255), 8));
    EXPECT_EQ(shown.pixelColor(10, 10).alpha(), 0);
}

QByteArray hugeGif()
{
    // Logical screen 65535 × 65535: 16 GB decoded.
    QByteArray gif("GIF89a");
    Bytes screen;
    screen.u16(65535).u16(65535);
    gif.append(screen.data());
    gif.append("\x00\x00\x00", 3);
    gif.append("\x2c\x00\x00\x00\x00\xff\xff\xff\xff\x00\x02\x02\x44\x01\x00\x3b", 16);
    return gif;
}

QByteArray hugeBmp()
{
    Bytes bmp;
    bmp.raw("BM").u32(54).u32(0).u32(54);
    bmp.u32(40).u32(100000).u32(100000).u16(1).u16(24).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    return bmp.data();
}

// Headers that lie, as found by fuzzing: sizes whose product overflows, a description string
// pointing past its record, a largest record bigger than the file.
QByteArray overflowingBmp()
{
    Bytes bmp;
    bmp.raw("BM").u32(54).u32(0).u32(54);
    bmp.u32(40).u32(2000000000).u32(2000000000).u16(1).u16(24).u32(0).u32(0).u32(0).u32(0);
    bmp.u32(0).u32(0);
    return bmp.data();
}

QByteArray emfWithDescription(quint32 characters, quint32 offset)
{
    QByteArray emf = minimalEmf();
    qToLittleEndian<quint32>(characters, emf.data() + 60);
    qToLittleEndian<quint32>(offset, emf.data() + 64);
    return emf;
}

QByteArray wmfWithHugeLargestRecord()
{
    QByteArray wmf = placeableWmf();
    qToLittleEndian<quint32>(0x7FFFFFFF, wmf.data() + 22 + 12);
    return wmf;
}

struct FailureCase {
    const char* name;
    std::function<QByteArray()> content; // nullptr: no file at all
    int expected;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class FailingPictures : public PictureLoaderTest,
                        public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailingPictures, ReportTheirErrorNumber)
{
    const FailureCase& c = GetParam();
    const QString path = c.content ? write(QString::fromLatin1(c.name), c.content())
                                   : m_dir.filePath(QString::fromLatin1(c.name));
    EXPECT_EQ(errorNumberOf([&] { loadPicture(path, PictureFormats::Classic); }), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FailingPictures,
    ::testing::Values(
        FailureCase{"missing.jpg", nullptr, ErrorNumber::FileNotFound},
        FailureCase{"text.jpg", [] { return QByteArray("not a picture\n"); },
                    ErrorNumber::InvalidPicture},
        FailureCase{"empty.jpg", [] { return QByteArray(); }, ErrorNumber::InvalidPicture},
        FailureCase{"png.jpg",
                    [] {
                        QByteArray png;
                        QBuffer buffer(&png);
                        buffer.open(QIODevice::WriteOnly);
                        twoColourImage({4, 4}).save(&buffer, "PNG");
                        return png;
                    },
                    ErrorNumber::InvalidPicture},
        FailureCase{"cut.wmf", [] { return placeableWmf().left(30); }, ErrorNumber::InvalidPicture},
        FailureCase{"cut.emf", [] { return minimalEmf().left(100); }, ErrorNumber::InvalidPicture},
        FailureCase{"huge.gif", hugeGif, ErrorNumber::OutOfMemory},
        FailureCase{"huge.bmp", hugeBmp, ErrorNumber::OutOfMemory},
        FailureCase{"overflowing.bmp", overflowingBmp, ErrorNumber::OutOfMemory},
        FailureCase{"largest_record.wmf", wmfWithHugeLargestRecord, ErrorNumber::InvalidPicture}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
        QString name = QString::fromLatin1(param.param.name);
        name.replace(QLatin1Char('.'), QLatin1Char('_'));
        return name.toStdString();
    });

TEST_F(PictureLoaderTest, EmfWithADescriptionOutsideItsHeaderStillShows)
{
    // A description past the header, or an empty one with an offset at the end of the file.
    for (const auto& [characters, offset] : {std::pair<quint32, quint32>{4000, 88}, {0, 168}}) {
        const Picture picture = loadPicture(
            write(QStringLiteral("caption.emf"), emfWithDescription(characters, offset)),
            PictureFormats::Classic);
        EXPECT_EQ(picture.naturalSizeTwips(), QSize(2880, 1440));
        EXPECT_FALSE(picture.render(QSize(40, 20)).isNull());
    }
}

TEST_F(PictureLoaderTest, FolderIsNotAPicture)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder.jpg")));
    EXPECT_EQ(errorNumberOf([&] {
                  loadPicture(m_dir.filePath(QStringLiteral("folder.jpg")),
                              PictureFormats::Classic);
              }),
              ErrorNumber::InvalidPicture);
}

TEST_F(PictureLoaderTest, TruncatedJpegDoesNotCrash)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    twoColourImage({400, 300}).save(&buffer, "JPEG");
    const QString path = write(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() / 3));
    const int number = errorNumberOf([&] {
        const QImage shown = loadPicture(path, PictureFormats::Classic).render(QSize(100, 75));
        EXPECT_EQ(shown.size(), QSize(100, 75));
    });
    EXPECT_TRUE(number == 0 || number == ErrorNumber::InvalidPicture) << number;
}

TEST_F(PictureLoaderTest, RenderTooLargeForMemoryIsOutOfMemory)
{
    const Picture picture =
        loadPicture(writeImage(QStringLiteral("small.bmp"), twoColourImage({4, 4}), "BMP"),
                    PictureFormats::Classic);
    EXPECT_EQ(errorNumberOf([&] { picture.render(QSize(100000, 100000)); }),
              ErrorNumber::OutOfMemory);
    EXPECT_TRUE(picture.render(QSize(0, 10)).isNull());
}

} // namespace
} // namespace folivo
