// Runs every test inside one QApplication on Qt's offscreen platform, with a 1920 × 1080
// screen at 96 DPI (15 twips per pixel), so window sizes in twips come out the same on
// every machine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    QTemporaryDir runtime;
    const QString screenFile = runtime.filePath(QStringLiteral("screen.json"));
    {
        QFile file(screenFile);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(R"({"windowFrameMargins": false, "screens": [{"name": "s0", "x": 0, "y": 0,)"
                       R"( "width": 1920, "height": 1080, "logicalDpi": 96, "dpr": 1}]})");
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screenFile));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("LC_CTYPE", "C.UTF-8");

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
