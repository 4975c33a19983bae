// The bytes as a page picture: loaded as the page display loads it and drawn at small sizes.
// Every failure must come as folivo::Error; anything else (a crash, another exception, a
// picture that claims a size it cannot be drawn at without saying so) is a finding.
#include "fuzz/fuzz_support.h"
#include "picture/picture_loader.h"
#include "platform/error.h"

#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>

#include <array>

namespace {

// The loader goes by content, not by name, so one name per input is enough; which one is
// taken from the bytes, so that every extension the page list accepts is used.
const std::array<QString, 10> kNames = {QStringLiteral("page.jpg"),  QStringLiteral("page.gif"),
                                        QStringLiteral("page.bmp"),  QStringLiteral("page.wmf"),
                                        QStringLiteral("page.emf"),  QStringLiteral("page.png"),
                                        QStringLiteral("page.webp"), QStringLiteral("page.tiff"),
                                        QStringLiteral("page.avif"), QStringLiteral("page.jxl")};

void render(const folivo::Picture& picture, const QSize& pixels)
{
    const QImage image = picture.render(pixels);
    if (!pixels.isEmpty() && image.size() != pixels)
        folivo::fuzz::fail("render gave a picture of another size");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Vector pictures are drawn with QPainter, which needs a GUI application for its fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folivo::fuzz::scratchFolder()));
    static QGuiApplication* const app = new QGuiApplication(*argc, *argv);
    Q_UNUSED(app);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t hash = 0;
    for (std::size_t i = 0; i < size && i < 16; ++i)
        hash = hash * 31 + data[i];
    const QString path = folivo::fuzz::scratchPath(kNames[(hash + size) % kNames.size()]);
    folivo::fuzz::writeBytes(path, data, size);
    try {
        const folivo::Picture picture = folivo::loadPicture(path, folivo::PictureFormats::More);
        render(picture, QSize(24, 32));
        // The page display draws at the natural size times the fit; kept small here. A
        // picture without area is the fitting's concern, not the loader's.
        const QSize natural = picture.naturalSizeTwips();
        if (!natural.isEmpty())
            render(picture, (natural / 15).boundedTo(QSize(160, 160)).expandedTo(QSize(1, 1)));
    } catch (const folivo::Error&) {
        // refused: what the page display reports to the user
    }
    QFile::remove(path);
    return 0;
}
