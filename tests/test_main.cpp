// Runs every test inside one QApplication on Qt's offscreen platform, with a 1920 × 1080
// screen at 96 DPI (15 twips per pixel), so window sizes in twips come out the same on
// every machine. The high-density tests get the same screen at twice the device pixels.
#include "platform/child_window_style.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QTemporaryDir>

#ifndef FOLIVO_TEST_DEVICE_PIXEL_RATIO
#define FOLIVO_TEST_DEVICE_PIXEL_RATIO 1
#endif

int main(int argc, char** argv)
{
    QTemporaryDir runtime;
    const QString screenFile = runtime.filePath(QStringLiteral("screen.json"));
    {
        QFile file(screenFile);
        if (file.open(QIODevice::WriteOnly)) {
            constexpr int ratio = FOLIVO_TEST_DEVICE_PIXEL_RATIO;
            file.write(QStringLiteral(R"({"windowFrameMargins": false, "screens": [{"name": "s0",)"
                                      R"( "x": 0, "y": 0, "width": %1, "height": %2,)"
                                      R"( "logicalDpi": 96, "dpr": %3}]})")
                           .arg(1920 * ratio)
                           .arg(1080 * ratio)
                           .arg(ratio)
                           .toUtf8());
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screenFile));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("LC_CTYPE", "C.UTF-8");

    QApplication app(argc, argv);
    folivo::useFramelessChildWindowStyle(); // as the program does
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
