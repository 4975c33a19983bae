// Writes the benchmark book: COUNT JPEG scans of 2480 × 3508 named page001.jpg, page002.jpg, …
// into FOLDER, each page drawn from its own seed so that every page's pixels differ (the page
// turn timing tells pages apart by their pixels). Written on every core; bench/run keeps the
// result in a cache folder and makes it only once.
//
//   folivo_make_scan_book FOLDER COUNT
#include "platform/work_pool.h"
#include "scan_pages.h"

#include <QDir>
#include <QGuiApplication>
#include <QThread>

#include <atomic>
#include <cstdio>

int main(int argc, char** argv)
{
    // No screen is needed: pictures only.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLatin1(argv[2]).toInt();
    if (count <= 0 || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make %d pages in %s\n", count, argv[1]);
        return 2;
    }
    std::atomic<int> next{1};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        for (int page = next++; page <= count; page = next++) {
            const QString path =
                QStringLiteral("%1/page%2.jpg").arg(folder).arg(page, 3, 10, QLatin1Char('0'));
            // Quality 90, as a scanner's default output is.
            if (!folivo::makeScan(page).save(path, "JPG", 90))
                failed = true;
        }
    };
    {
        const int workers = QThread::idealThreadCount();
        folivo::WorkPool pool(workers, folivo::WorkPool::Priority::Normal);
        for (int i = 0; i < workers; ++i)
            pool.start(work);
    } // the pool's end waits for every page
    if (failed) {
        std::fprintf(stderr, "could not write every page into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
