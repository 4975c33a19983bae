#include "picture/more_formats.h"

#include "picture/picture_loader.h"
#include "platform/error.h"
#include "support/peak_memory.h"

#include <QColor>
#include <QColorSpace>
#include <QColorTransform>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <thread>
#include <vector>

namespace folivo {
namespace {

// The tests run at 96 DPI: 15 twips a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr qint64 kMegabyte = qint64{1024} * 1024;

QString fixture(const char* name)
{
    return QDir(QStringLiteral(FOLIVO_TEST_PICTURES)).filePath(QString::fromLatin1(name));
}

int errorNumberOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

void expectColour(const QImage& image, QPoint at, QColor expected, int tolerance = 3)
{
    const QColor actual = image.pixelColor(at);
    EXPECT_LE(std::abs(actual.red() - expected.red()), tolerance) << actual.name().toStdString();
    EXPECT_LE(std::abs(actual.green() - expected.green()), tolerance)
        << actual.name().toStdString();
    EXPECT_LE(std::abs(actual.blue() - expected.blue()), tolerance) << actual.name().toStdString();
    EXPECT_EQ(actual.alpha(), 255);
}

const std::array<const char*, 5> kPatterns = {"pattern.png", "pattern.webp", "pattern.tiff",
                                              "pattern.avif", "pattern.jxl"};

class PatternPictures : public ::testing::TestWithParam<const char*> {};

// Bands of red, green, blue and nothing at all, 16 pixels each: the last is the paper.
TEST_P(PatternPictures, LoadWithTheirSizeColoursAndWhitePaperAtAnySize)
{
    const Picture picture = loadPicture(fixture(GetParam()), PictureFormats::More);
    EXPECT_EQ(picture.naturalSizeTwips(), QSize(64, 16) * kTwipsPerPixel);
    for (const int scale : {1, 3}) {
        const QImage shown = picture.render(QSize(64, 16) * scale);
        ASSERT_EQ(shown.size(), QSize(64, 16) * scale);
        EXPECT_FALSE(shown.hasAlphaChannel());
        const int y = 8 * scale;
        expectColour(shown, {8 * scale, y}, Qt::red);
        expectColour(shown, {24 * scale, y}, Qt::green);
        expectColour(shown, {40 * scale, y}, Qt::blue);
        expectColour(shown, {56 * scale, y}, Qt::white);
    }
}

// Cut short or torn after a valid start, a page is an invalid picture, refused as it loads or
// as it is drawn.
TEST_P(PatternPictures, DamagedFilesAreInvalidPictures)
{
    QFile file(fixture(GetParam()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged"));
    QByteArray garbage = whole;
    for (qsizetype i = 16; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 37);
    for (const QByteArray& damaged : {whole.left(whole.size() / 2), whole.left(20), garbage}) {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(damaged);
        out.close();
        EXPECT_EQ(
            errorNumberOf([&] { loadPicture(path, PictureFormats::More).render(QSize(64, 16)); }),
            ErrorNumber::InvalidPicture)
            << damaged.size() << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PatternPictures, ::testing::ValuesIn(kPatterns));

TEST(MoreFormatsTest, ClassicFormatsRefuseEveryFurtherFormat)
{
    const QDir data(QStringLiteral(FOLIVO_TEST_PICTURES));
    const QStringList files =
        data.entryList({QStringLiteral("*.png"), QStringLiteral("*.webp"), QStringLiteral("*.tiff"),
                        QStringLiteral("*.avif"), QStringLiteral("*.jxl")},
                       QDir::Files);
    ASSERT_GE(files.size(), 15);
    for (const QString& name : files) {
        for (const auto load : {loadPicture, loadRasterPicture}) {
            EXPECT_EQ(errorNumberOf([&] { load(data.filePath(name), PictureFormats::Classic); }),
                      ErrorNumber::InvalidPicture)
                << name.toStdString();
        }
    }
}

struct ColourCase {
    const char* file;
    QPoint at;
    QColor expected;
};

void PrintTo(const ColourCase& c, std::ostream* os)
{
    *os << c.file << " at " << c.at.x() << ", " << c.at.y();
}

// Adobe RGB's 100, 150, 50 as sRGB shows it.
QColor adobeGreenInSrgb()
{
    return QColorSpace(QColorSpace::AdobeRgb)
        .transformationToColorSpace(QColorSpace::SRgb)
        .map(QColor(100, 150, 50));
}

class PagesInColour : public ::testing::TestWithParam<ColourCase> {};

TEST_P(PagesInColour, ShowTheirColoursInSrgb)
{
    const ColourCase& c = GetParam();
    const Picture picture = loadPicture(fixture(c.file), PictureFormats::More);
    const QImage shown = picture.render(picture.naturalSizeTwips() / kTwipsPerPixel);
    expectColour(shown, c.at, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pictures, PagesInColour,
                         ::testing::Values(
                             // 16-bit channels, their high bytes kept.
                             ColourCase{"rgb16.png", {8, 8}, QColor(200, 100, 50)},
                             ColourCase{"rgb16.png", {24, 8}, QColor(50, 200, 100)},
                             ColourCase{"grey.png", {8, 8}, QColor(64, 64, 64)},
                             ColourCase{"grey.png", {24, 8}, QColor(191, 191, 191)},
                             ColourCase{"grey.avif", {8, 8}, QColor(64, 64, 64)},
                             ColourCase{"grey.avif", {24, 8}, QColor(191, 191, 191)},
                             ColourCase{"grey.jxl", {8, 8}, QColor(64, 64, 64)},
                             ColourCase{"grey.jxl", {24, 8}, QColor(191, 191, 191)},
                             // An embedded profile: converted, not shown as if it were sRGB.
                             ColourCase{"adobe.png", {16, 8}, adobeGreenInSrgb()},
                             ColourCase{"adobe.avif", {16, 8}, adobeGreenInSrgb()},
                             ColourCase{"adobe.jxl", {16, 8}, adobeGreenInSrgb()},
                             // Red first, then blue: the first frame or page is the page.
                             ColourCase{"anim.webp", {16, 8}, Qt::red},
                             ColourCase{"anim.avif", {16, 8}, Qt::red},
                             ColourCase{"multipage.tiff", {16, 8}, Qt::red}),
                         [](const ::testing::TestParamInfo<ColourCase>& param) {
                             QString name = QString::fromLatin1(param.param.file);
                             name.replace(QLatin1Char('.'), QLatin1Char('_'));
                             return name.toStdString() + "_" + std::to_string(param.param.at.x());
                         });

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), chunk.data());
    const QByteArray body = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return chunk + body + crc;
}

// A valid PNG header for 30000 × 30000 RGBA (3.6 GB of pixels) before a stream of one row.
QByteArray hugePng()
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(30000, header.data());
    qToBigEndian<quint32>(30000, header.data() + 4);
    header[8] = 8; // bits a channel
    header[9] = 6; // RGBA
    const QByteArray row(1 + 30000 * 4, '\0');
    return QByteArray("\x89PNG\r\n\x1A\n") + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(row).mid(4)) + pngChunk("IEND", QByteArray());
}

TEST(MoreFormatsTest, PictureTooLargeForMemoryIsRefusedBeforeItIsDecoded)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.png"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(hugePng());
    file.close();
    const test::PeakMemory peak;
    EXPECT_EQ(errorNumberOf([&] { loadRasterPicture(path, PictureFormats::More); }),
              ErrorNumber::OutOfMemory);
    try {
        loadPicture(path, PictureFormats::More);
        ADD_FAILURE() << "a picture too large for memory was loaded";
    } catch (const Error& error) {
        // Said why: the picture's size, not only that memory ran short.
        EXPECT_TRUE(error.description().startsWith(
            QStringLiteral("Out of memory: 30000 x 30000 pixels need ")))
            << error.description().toStdString();
    }
    if (peak.valid()) {
        EXPECT_LT(peak.grownBytes(), 48 * kMegabyte);
    }
}

// Drawing a page decodes it whole, makes it opaque, then scales it: the memory that takes is
// what the reading ahead budgets with.
TEST(MoreFormatsTest, RenderBytesCountTheWholeDecodeAndTheScaledPage)
{
    const Picture png = loadPicture(fixture("rgb16.png"), PictureFormats::More);
    // 16-bit pixels, then 32-bit ones, then the page.
    EXPECT_GE(png.renderBytes(QSize(64, 32)), 32 * 16 * (8 + 4) + 64 * 32 * 4);
    const Picture jxl = loadPicture(fixture("pattern.jxl"), PictureFormats::More);
    EXPECT_GE(jxl.renderBytes(QSize(64, 16)), 64 * 16 * 4);
}

// Pages are read ahead on several threads at once, each its own decoder.
TEST(MoreFormatsTest, PagesDecodeAlikeOnSeveralThreadsAtOnce)
{
    std::vector<QImage> alone;
    alone.reserve(kPatterns.size());
    for (const char* name : kPatterns)
        alone.push_back(loadRasterPicture(fixture(name), PictureFormats::More).render({128, 32}));
    constexpr int kThreads = 4;
    std::array<std::vector<QImage>, kThreads> together;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (auto& images : together) {
        threads.emplace_back([&images] {
            for (int round = 0; round < 5; ++round) {
                for (const char* name : kPatterns) {
                    images.push_back(
                        loadRasterPicture(fixture(name), PictureFormats::More).render({128, 32}));
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& images : together) {
        ASSERT_EQ(images.size(), alone.size() * 5);
        for (std::size_t i = 0; i < images.size(); ++i)
            EXPECT_EQ(images[i], alone[i % alone.size()]) << kPatterns[i % alone.size()];
    }
}

// Without libavif or libjxl a page of theirs cannot be shown, and the message says what to
// install. The libraries are hidden from a second run of this program, which loads the pages.
TEST(MoreFormatsTest, MissingDecoderLibraryNamesThePackage)
{
    if (qEnvironmentVariableIsSet("FOLIVO_TEST_DECODERS_HIDDEN")) {
        const std::pair<const char*, QString> cases[] = {
            {"pattern.avif", QStringLiteral("AVIF decoder missing: install libavif15")},
            {"pattern.jxl", QStringLiteral("JPEG XL decoder missing: install libjxl0.7")}};
        for (const auto& [file, description] : cases) {
            try {
                loadPicture(fixture(file), PictureFormats::More);
                ADD_FAILURE() << file << " loaded";
            } catch (const Error& error) {
                EXPECT_EQ(error.number(), ErrorNumber::InvalidPicture);
                EXPECT_EQ(error.description(), description);
            }
        }
        return;
    }
    // A library that cannot be loaded stands first where the loader looks.
    QTemporaryDir hidden;
    for (const char* soname : {"libavif.so.15", "libjxl.so.0.7"}) {
        QFile empty(hidden.filePath(QString::fromLatin1(soname)));
        ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString searched = environment.value(QStringLiteral("LD_LIBRARY_PATH"));
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                       searched.isEmpty() ? hidden.path()
                                          : hidden.path() + QLatin1Char(':') + searched);
    environment.insert(QStringLiteral("FOLIVO_TEST_DECODERS_HIDDEN"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_filter=MoreFormatsTest.MissingDecoderLibraryNamesThePackage")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

} // namespace
} // namespace folivo
