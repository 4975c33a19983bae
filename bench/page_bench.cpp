// Page turning: a page turn from the click to the page drawn, beside decoding the same
// scan alone, with the page prepared ahead (the reader read the last page long enough for
// it), while flicking (the next turn comes at once), and with nothing prepared; a step
// through a folder of 10,000 pictures; a folder of 20,000 pictures into the file box and
// 10,000 registered folders read from the settings file; the fitting search alone.
//
//   build/test/bench/folivo_page_bench --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true   (one command line)
#include "app/main_window.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/combo_box.h"
#include "platform/combo_box_widget.h"
#include "scan_pages.h"
#include "settings/ini_file.h"
#include "support/temp_home.h"
#include "view/fit_search.h"
#include "view/page_list.h"
#include "view/page_prefetch_testing.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <benchmark/benchmark.h>

namespace folivo {
namespace {

constexpr int kScanPages = 8;

struct ScanBook {
    test::TempHome home;
    QString folder;
    ScanBook()
    {
        folder = home.filePath(QStringLiteral("scans"));
        QDir().mkpath(folder);
        for (int page = 1; page <= kScanPages; ++page)
            makeScan(page).save(folder + QStringLiteral("/scan%1.jpg").arg(page), "JPG", 90);
    }
};

ScanBook& scanBook()
{
    static ScanBook book;
    return book;
}

void BM_DecodeScanAlone(benchmark::State& state)
{
    const QString path = scanBook().folder + QStringLiteral("/scan2.jpg");
    for (auto _ : state) {
        QImageReader reader(path);
        QImage image = reader.read();
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_DecodeScanAlone)->Unit(benchmark::kMillisecond);

enum class Prepared { Never, WhileReading, Flicking };

void pageTurns(benchmark::State& state, Prepared prepared)
{
    ScanBook& book = scanBook();
    test::RecordingUi ui;
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(book.folder, scratch);
    Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                          book.home.filePath(QStringLiteral("Folivo.ini")), book.folder);
    MDIForm_Main window;
    window.MDIForm_Load(QString());
    PagePrefetch& prefetch = window.pageWindow().prefetch();
    prefetch.setEnabled(prepared != Prepared::Never);
    int page = 1;
    for (auto _ : state) {
        if (page == kScanPages) {
            state.PauseTiming();
            window.Combo_Path_Click();
            page = 1;
            state.ResumeTiming();
        }
        if (prepared == Prepared::WhileReading) {
            state.PauseTiming();
            waitUntilIdle(prefetch);
            state.ResumeTiming();
        }
        window.Command_Preview_PostView_Click(1);
        ++page;
    }
    waitUntilIdle(prefetch);
    if (!ui.messages.empty())
        state.SkipWithError("a message box was shown during the page turns");
}

void BM_PageTurnToPageDrawn(benchmark::State& state)
{
    pageTurns(state, Prepared::Never);
}
BENCHMARK(BM_PageTurnToPageDrawn)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PageTurnPreparedWhileReading(benchmark::State& state)
{
    pageTurns(state, Prepared::WhileReading);
}
BENCHMARK(BM_PageTurnPreparedWhileReading)->Unit(benchmark::kMillisecond)->UseRealTime();

// Wall time: the workers' share of the decoding is what flicking waits for.
void BM_PageTurnFlicking(benchmark::State& state)
{
    pageTurns(state, Prepared::Flicking);
}
BENCHMARK(BM_PageTurnFlicking)->Unit(benchmark::kMillisecond)->UseRealTime();

struct LargeFolder {
    test::TempHome home;
    QString folder;
    explicit LargeFolder(int pages = 10000)
    {
        folder = home.filePath(QStringLiteral("many"));
        QDir().mkpath(folder);
        for (int i = 1; i <= pages; ++i) {
            QFile file(folder + QStringLiteral("/page%1.jpg").arg(i));
            file.open(QIODevice::WriteOnly);
        }
    }
};

void BM_FileStepInTenThousandPictures(benchmark::State& state)
{
    static LargeFolder large;
    test::RecordingUi ui;
    test::ListComboBox path({large.folder}, large.folder);
    test::ListComboBox file;
    file.setText(QStringLiteral("page5000.jpg"));
    const auto step = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        QString name = Mod_Varnox::File_Step(path, file, step);
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_FileStepInTenThousandPictures)->Arg(1)->Arg(-1)->Unit(benchmark::kMillisecond);

// What a folder's first page costs after it shows: its 20,000 pictures into the file box.
void BM_FileListOfTwentyThousandPicturesIntoTheFileBox(benchmark::State& state)
{
    static LargeFolder large(20000);
    test::ListComboBox path({large.folder}, large.folder);
    EditableComboBox widget;
    QtComboBox file(&widget);
    for (auto _ : state) {
        file.clear();
        Mod_Varnox::File_List_Load(path, file);
        benchmark::DoNotOptimize(file.listCount());
    }
}
BENCHMARK(BM_FileListOfTwentyThousandPicturesIntoTheFileBox)->Unit(benchmark::kMillisecond);

// Every start lists the registered folders, slot by slot, from the settings file.
void BM_TenThousandRegisteredFoldersRead(benchmark::State& state)
{
    static const test::TempHome home;
    const QString file = home.filePath(QStringLiteral("Folivo.ini"));
    if (!QFile::exists(file)) {
        QByteArray content = "[Folders]\n";
        for (int i = 0; i < 10000; ++i)
            content += Mod_Varnox::slotKey(i).toUtf8() +
                       QStringLiteral("=/srv/books/shelf/volume%1\n").arg(i).toUtf8();
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(content);
    }
    for (auto _ : state) {
        QStringList folders = Mod_Varnox::registeredFolders(file);
        benchmark::DoNotOptimize(folders);
    }
}
BENCHMARK(BM_TenThousandRegisteredFoldersRead)->Unit(benchmark::kMillisecond);

void BM_FittingSearch445ShrinkSteps(benchmark::State& state)
{
    for (auto _ : state) {
        FitResult fit = fitPage(12000, 18000, 1.0, 1.0, 15000, 10000, 1, 0);
        benchmark::DoNotOptimize(fit);
    }
}
BENCHMARK(BM_FittingSearch445ShrinkSteps)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace folivo
