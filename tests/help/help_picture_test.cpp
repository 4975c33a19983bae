// The help window's picture is compiled into the program; these checks hold it to the format
// the window draws: a plain bottom-up 24-bit bitmap of 320 × 480 in black and pale yellow.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <set>
#include <tuple>

// The resource lives in a static library, whose registration is linked in only when something
// names it; the help window does so for the program.
static void registerHelpResource()
{
    Q_INIT_RESOURCE(help);
}

namespace folivo {
namespace {

constexpr qsizetype FileBytes = 460854;
constexpr int Width = 320;
constexpr int Height = 480;

QByteArray helpPicture()
{
    registerHelpResource();
    QFile file(QStringLiteral(":/help/help_page.bmp"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T> T field(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

TEST(HelpPicture, IsAPlainBottomUpBitmapOfTheFixedSize)
{
    const QByteArray bytes = helpPicture();
    ASSERT_EQ(bytes.size(), FileBytes);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(field<quint32>(bytes, 2), quint32(FileBytes));
    EXPECT_EQ(field<quint32>(bytes, 10), 54u); // pixels right after the two headers
    EXPECT_EQ(field<quint32>(bytes, 14), 40u); // BITMAPINFOHEADER
    EXPECT_EQ(field<qint32>(bytes, 18), Width);
    EXPECT_EQ(field<qint32>(bytes, 22), Height); // positive: bottom-up
    EXPECT_EQ(field<quint16>(bytes, 26), 1);
    EXPECT_EQ(field<quint16>(bytes, 28), 24);
    EXPECT_EQ(field<quint32>(bytes, 30), 0u); // uncompressed
}

TEST(HelpPicture, HoldsOnlyBlackAndPaleYellowAndSomeOfEach)
{
    const QByteArray bytes = helpPicture();
    ASSERT_EQ(bytes.size(), FileBytes);
    const auto* pixel = reinterpret_cast<const uchar*>(bytes.constData()) + 54;
    std::set<std::tuple<int, int, int>> colours;
    qsizetype ink = 0;
    for (int i = 0; i < Width * Height; ++i, pixel += 3) {
        colours.insert({pixel[2], pixel[1], pixel[0]});
        ink += pixel[1] != 0;
    }
    EXPECT_EQ(colours, (std::set<std::tuple<int, int, int>>{{0, 0, 0}, {255, 255, 128}}));
    // Text, not a blank or a filled page.
    EXPECT_GT(ink, Width * Height / 50);
    EXPECT_LT(ink, Width * Height / 4);
}

TEST(HelpPicture, ReadsWithTheTextFromTheTop)
{
    QImage image;
    ASSERT_TRUE(image.loadFromData(helpPicture(), "BMP"));
    ASSERT_EQ(image.size(), QSize(Width, Height));
    auto rowHasInk = [&image](int y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(0, 0, 0))
                return true;
        }
        return false;
    };
    // The heading is on the first text row; the last rows stay empty. Rows stored top-down
    // would turn this round.
    bool inkNearTop = false;
    for (int y = 0; y < 20; ++y)
        inkNearTop = inkNearTop || rowHasInk(y);
    EXPECT_TRUE(inkNearTop);
    for (int y = Height - 10; y < Height; ++y)
        EXPECT_FALSE(rowHasInk(y)) << "row " << y;
}

} // namespace
} // namespace folivo
