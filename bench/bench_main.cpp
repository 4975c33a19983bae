// Runs a benchmark program inside a QApplication on Qt's offscreen platform with a
// 1920 × 1080 screen at 96 DPI, the same screen the widget tests use.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    QTemporaryDir runtime;
    const QString screenFile = runtime.filePath(QStringLiteral("screen.json"));
    QFile file(screenFile);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(R"({"windowFrameMargins": false, "screens": [{"name": "s0", "x": 0, "y": 0,)"
                   R"( "width": 1920, "height": 1080, "logicalDpi": 96, "dpr": 1}]})");
        file.close();
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screenFile));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication app(argc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
