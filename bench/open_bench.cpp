// Opening an archive of 200 scanned pages: from Open_Target to the first page on screen,
// the extraction alone, and bsdtar unpacking the same archive into an empty folder, all in
// one run. Archives are stored and deflated ZIPs of 2480 × 3508 JPEG pages. The archiver
// call alone runs with one worker and with one per core (workers:0), side by side.
//
//   build/test/bench/folivo_open_bench --benchmark_repetitions=3
//       --benchmark_report_aggregates_only=true   (one command line)
#include "app/main_window.h"
#include "archive/archiver.h"
#include "archive/archiver_testing.h"
#include "fakes/recording_ui.h"
#include "open/archive_extract.h"
#include "open/archive_extract_testing.h"
#include "platform/file_system.h"
#include "platform/install_folder.h"
#include "scan_pages.h"
#include "support/temp_home.h"
#include "support/zip_writer.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

namespace folivo {
namespace {

constexpr int kPages = 200;
constexpr int kDistinctPages = 10;

struct ScanArchives {
    test::TempHome home;
    QString stored;
    QString deflated;
    ScanArchives()
    {
        QList<QByteArray> pages;
        for (int i = 0; i < kDistinctPages; ++i) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            makeScan(i).save(&buffer, "JPG", 90);
            pages << bytes;
        }
        test::ZipWriter storedZip;
        test::ZipWriter deflatedZip;
        for (int page = 1; page <= kPages; ++page) {
            const QByteArray name =
                QStringLiteral("%1.jpg").arg(page, 3, 10, QLatin1Char('0')).toUtf8();
            storedZip.addFile(name, pages[page % kDistinctPages], test::ZipWriter::Method::Stored);
            deflatedZip.addFile(name, pages[page % kDistinctPages],
                                test::ZipWriter::Method::Deflated);
        }
        stored = home.filePath(QStringLiteral("stored.zip"));
        deflated = home.filePath(QStringLiteral("deflated.zip"));
        storedZip.write(stored);
        deflatedZip.write(deflated);
    }
    const QString& archive(int deflate) const { return deflate ? deflated : stored; }
};

ScanArchives& archives()
{
    static ScanArchives instance;
    return instance;
}

void BM_BsdtarExtract(benchmark::State& state)
{
    const QString tar = QStandardPaths::findExecutable(QStringLiteral("bsdtar"));
    if (tar.isEmpty()) {
        state.SkipWithError("bsdtar is not installed (package libarchive-tools)");
        return;
    }
    const QString archive = archives().archive(static_cast<int>(state.range(0)));
    const QString target = archives().home.filePath(QStringLiteral("bsdtar-out"));
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        QDir().mkpath(target);
        state.ResumeTiming();
        QProcess::execute(tar, {QStringLiteral("-xf"), archive, QStringLiteral("-C"), target});
    }
}
BENCHMARK(BM_BsdtarExtract)
    ->ArgName("deflated")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ZipExtract(benchmark::State& state)
{
    const QString archive = archives().archive(static_cast<int>(state.range(0)));
    quintptr owner = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(Mod_Varnox::Zip_Extract(owner, archive));
}
BENCHMARK(BM_ZipExtract)
    ->ArgName("deflated")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The archiver call alone, into an empty folder, as bsdtar is measured.
void BM_UnZipIntoEmptyFolder(benchmark::State& state)
{
    const QString archive = archives().archive(static_cast<int>(state.range(0)));
    Archiver::testing::setWorkerCount(static_cast<int>(state.range(1)));
    const QString target = archives().home.filePath(QStringLiteral("unzip-out"));
    const QString commandLine = Mod_Varnox::zipCommandLine(archive, target);
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        QDir().mkpath(target);
        state.ResumeTiming();
        QString output;
        benchmark::DoNotOptimize(Archiver::UnZip(0, commandLine, output, 0));
    }
    Archiver::testing::setWorkerCount(0);
}
BENCHMARK(BM_UnZipIntoEmptyFolder)
    ->ArgNames({"deflated", "workers"})
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The book's pages unpacked again into the temporary folder, once the pages set aside by the
// clear before are deleted (on another thread).
void unpackAgain(const QString& commandLine)
{
    Mod_Varnox::waitForBackgroundClearing();
    QString output;
    Archiver::UnZip(0, commandLine, output, 0);
}

// Emptying the temporary folder of the previous book's 200 pages, as the next archive's
// extraction begins; the pages are unpacked again between the timed clears. What the clear
// leaves to its background thread is timed by BM_ZipExtract, where it overlaps the next
// extraction as it does for a reader.
void BM_TmpClear(benchmark::State& state)
{
    const QString tmp = tmpFolderPath();
    const QString commandLine = Mod_Varnox::zipCommandLine(archives().stored, tmp);
    Mod_Varnox::Tmp_Clear(tmp, 0); // made and marked as Folivo's, or it is never emptied
    for (auto _ : state) {
        state.PauseTiming();
        unpackAgain(commandLine);
        state.ResumeTiming();
        benchmark::DoNotOptimize(Mod_Varnox::Tmp_Clear(tmp, 0));
    }
}
// Each clear needs the pages unpacked again: a fixed count keeps the run short.
BENCHMARK(BM_TmpClear)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The anchor of BM_TmpClear: deleting the same pages where they lie and making the folder
// again, as clearing did before it set the pages aside.
void BM_RemoveTreeInPlace(benchmark::State& state)
{
    const QString tmp = tmpFolderPath();
    const QString commandLine = Mod_Varnox::zipCommandLine(archives().stored, tmp);
    Mod_Varnox::Tmp_Clear(tmp, 0); // made and marked as Folivo's, or it is never emptied
    for (auto _ : state) {
        state.PauseTiming();
        unpackAgain(commandLine);
        state.ResumeTiming();
        removeTree(tmp);
        benchmark::DoNotOptimize(Mod_Varnox::Tmp_Clear(tmp, 0)); // makes it again, marked
    }
}
BENCHMARK(BM_RemoveTreeInPlace)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenTargetToFirstPage(benchmark::State& state)
{
    const QString archive = archives().archive(static_cast<int>(state.range(0)));
    test::RecordingUi ui;
    MDIForm_Main window;
    window.show();
    for (auto _ : state) {
        window.Open_Target(archive);
    }
    state.counters["messages"] = static_cast<double>(ui.messages.size());
}
BENCHMARK(BM_OpenTargetToFirstPage)
    ->ArgName("deflated")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace folivo
