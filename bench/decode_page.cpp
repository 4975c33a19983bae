// Decodes pages through Folivo's own picture loader at the size the page is shown at: the file
// read, the header, the JPEG decode at its reduced scale and the smooth scaling to exactly
// WIDTH × HEIGHT, which is the work a page turn waits for. Prints one line per page: the
// milliseconds it took. bench/run sets it beside `djpeg -scale 1/2` of the same pages.
//
//   folivo_decode_page WIDTH HEIGHT PAGE...
#include "picture/picture_loader.h"
#include "platform/error.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // No screen is needed: pictures only.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT PAGE...\n", argv[0]);
        return 2;
    }
    const QSize size(QString::fromLatin1(argv[1]).toInt(), QString::fromLatin1(argv[2]).toInt());
    if (size.isEmpty()) {
        std::fprintf(stderr, "not a page size: %s × %s\n", argv[1], argv[2]);
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        QElapsedTimer timer;
        timer.start();
        try {
            const QImage image =
                folivo::loadPicture(QString::fromLocal8Bit(argv[i]), folivo::PictureFormats::More)
                    .render(size);
            if (image.size() != size) {
                std::fprintf(stderr, "%s: drawn at the wrong size\n", argv[i]);
                return 1;
            }
        } catch (const folivo::Error&) {
            std::fprintf(stderr, "%s: not a picture the loader can draw\n", argv[i]);
            return 1;
        }
        std::printf("%.3f\n", static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}
