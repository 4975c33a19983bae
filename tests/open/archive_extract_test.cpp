#include "open/archive_extract.h"

#include "archive/archiver.h"
#include "archive/archiver_testing.h"
#include "open/archive_extract_testing.h"
#include "open/extraction_feedback.h"
#include "open/extraction_feedback_testing.h"
#include "platform/file_lock.h"
#include "platform/install_folder.h"
#include "settings/reading_options_testing.h"
#include "support/book_tools.h"
#include "support/file_tree.h"
#include "support/lzh_writer.h"
#include "support/temp_home.h"
#include "support/zip_writer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace folivo {
namespace {

using test::fileTree;
using test::readFile;
using test::writeFile;
using test::ZipWriter;

// Every temporary folder that Folivo made carries its mark.
const QString kMarker = QStringLiteral(".folivo-tmp");

struct KindCase {
    const char* name;
    std::int32_t kind;
};

class ArchiveKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(ArchiveKind, IsJudgedByTheLastFourCharacters)
{
    EXPECT_EQ(Mod_Varnox::Archive_Check(QString::fromUtf8(GetParam().name)), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(OpenArchive, ArchiveKind,
                         ::testing::Values(KindCase{"PAGES.ZIP", 1}, KindCase{"a.Lzh", 2},
                                           KindCase{"zip", 0}, KindCase{"", 0}, KindCase{".zip", 1},
                                           KindCase{"/書/本.lzh", 2}, KindCase{"a.zip.txt", 0},
                                           KindCase{"a.lha", 0}, KindCase{"a.zip ", 0},
                                           KindCase{"azip", 0}));

// The other books are archives only with the reading option on; off, nothing changes.
TEST(ArchiveKind, WithMoreFormatsTheOtherBooksAreKindThree)
{
    const QList<std::pair<const char*, std::int32_t>> cases{
        {"a.CBZ", 1},  {"a.cbr", 3},    {"b.RAR", 3},    {"c.7z", 3},  {"c.cb7", 3},
        {"d.tar", 3},  {"d.Cbt", 3},    {"e.tar.gz", 3}, {"e.tgz", 3}, {"f.tar.bz2", 3},
        {"f.tbz2", 3}, {"g.tar.xz", 3}, {"g.TXZ", 3},    {"a.zip", 1}, {"a.lzh", 2},
        {"a.gz", 0},   {"a.7z.txt", 0}, {"rar", 0}};
    for (const bool on : {true, false}) {
        const ReadingOptions::ScopedOption option(ReadingOptions::Option::MoreFormats, on);
        for (const auto& [name, kind] : cases) {
            const bool classic = kind == 2 || QByteArray(name).endsWith(".zip");
            EXPECT_EQ(Mod_Varnox::Archive_Check(QString::fromUtf8(name)), on || classic ? kind : 0)
                << name << (on ? " on" : " off");
        }
    }
}

TEST(ArchiverCommandLines, AreBuiltCharacterForCharacter)
{
    EXPECT_EQ(Mod_Varnox::zipCommandLine(QStringLiteral("/d/a b.zip"), QStringLiteral("/i/tmp")),
              QStringLiteral("-x -o -q \"/d/a b.zip\" \"/i/tmp/\" *.*"));
    EXPECT_EQ(Mod_Varnox::lzhCommandLine(QStringLiteral("/d/本.lzh"), QStringLiteral("/i/tmp")),
              QStringLiteral("x -d1 -y1 \"/d/本.lzh\" \"/i/tmp/\" *.*"));
}

/// Puts a library back into use however the test ends.
class UnusableLibrary {
public:
    explicit UnusableLibrary(Archiver::Format library)
        : m_library(library)
    {
        Archiver::setLibraryUsable(m_library, false);
    }
    ~UnusableLibrary() { Archiver::setLibraryUsable(m_library, true); }
    UnusableLibrary(const UnusableLibrary&) = delete;
    UnusableLibrary& operator=(const UnusableLibrary&) = delete;

private:
    Archiver::Format m_library;
};

class ExtractTest : public ::testing::Test {
protected:
    // What clearing set aside is deleted in the background; it must end before the home goes.
    void TearDown() override { Mod_Varnox::waitForBackgroundClearing(); }

    QString tmp() const { return tmpFolderPath(); }
    QString sibling(const QString& name) const { return m_home.filePath(name); }
    QStringList homeTree() const { return fileTree(m_home.path()); }
    QString archive(const char* name) const { return m_archives.filePath(QString::fromUtf8(name)); }

    test::TempHome m_home;
    QTemporaryDir m_archives;
    quintptr m_owner = 0;
};

TEST_F(ExtractTest, FirstZipCreatesTheTemporaryFolder)
{
    ZipWriter zip;
    zip.addFile("1.jpg", "one");
    zip.addFile("sub/2.jpg", "two", ZipWriter::Method::Deflated);
    ASSERT_TRUE(zip.write(archive("a.zip")));
    ASSERT_FALSE(QFileInfo::exists(tmp()));

    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "1.jpg", "sub/", "sub/2.jpg"}));
}

TEST_F(ExtractTest, ASecondArchiveReplacesEverythingTheFirstLeft)
{
    ZipWriter first;
    first.addFile("old.jpg", "old");
    first.addFile("chapter/old2.jpg", "old");
    first.addFolder("empty/");
    ASSERT_TRUE(first.write(archive("first.zip")));
    test::LzhWriter second;
    second.addFile("new.jpg", "new");
    second.addFile("part/new2.jpg", "new", test::LzhWriter::Method::Lh0);
    ASSERT_TRUE(second.write(archive("second.lzh")));

    ASSERT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("first.zip")), 0);
    EXPECT_EQ(Mod_Varnox::Lzh_Extract(m_owner, archive("second.lzh")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "new.jpg", "part/", "part/new2.jpg"}));
    EXPECT_EQ(readFile(tmp() + QStringLiteral("/part/new2.jpg")), "new");
}

TEST_F(ExtractTest, AnUnusableLibraryLeavesTheTemporaryFolderAlone)
{
    ZipWriter zip;
    zip.addFile("new.jpg", "new");
    ASSERT_TRUE(zip.write(archive("a.zip")));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/kept.jpg"), "kept"));
    {
        const UnusableLibrary missing(Archiver::Format::Zip);
        EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), -99999);
    }
    {
        const UnusableLibrary missing(Archiver::Format::Lzh);
        EXPECT_EQ(Mod_Varnox::Lzh_Extract(m_owner, archive("a.lzh")), -99999);
    }
    EXPECT_EQ(fileTree(tmp()), QStringList({"kept.jpg"}));
}

TEST_F(ExtractTest, ALibraryFailureIsPassedOnAfterClearing)
{
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/old.jpg"), "old"));
    ASSERT_TRUE(writeFile(tmp() + QLatin1Char('/') + kMarker, ""));
    EXPECT_EQ(Mod_Varnox::Lzh_Extract(m_owner, archive("missing.lzh")),
              Archiver::Result::CannotOpenArchive);
    EXPECT_TRUE(QFileInfo(tmp()).isDir());
    EXPECT_EQ(fileTree(tmp()), QStringList{kMarker});
}

TEST_F(ExtractTest, ClearingAMissingFolderCreatesItMarked)
{
    EXPECT_EQ(Mod_Varnox::Tmp_Clear(tmp(), m_owner), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList{kMarker});
}

// With the install folder in a home folder, "tmp" may well be the user's own.
TEST_F(ExtractTest, ATemporaryFolderFolivoDidNotMakeIsNeverEmptied)
{
    ZipWriter zip;
    zip.addFile("new.jpg", "new");
    ASSERT_TRUE(zip.write(archive("a.zip")));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/notes/todo.txt"), "mine"));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/.hidden"), "mine too"));
    const QStringList theirs = fileTree(tmp());

    EXPECT_EQ(Mod_Varnox::Tmp_Clear(tmp(), m_owner), -1);
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), Mod_Varnox::kTmpNotOurs);
    EXPECT_EQ(Mod_Varnox::Lzh_Extract(m_owner, archive("a.lzh")), Mod_Varnox::kTmpNotOurs);
    EXPECT_EQ(fileTree(tmp()), theirs);

    // A file of that name is not a folder of Folivo's either.
    ASSERT_TRUE(QDir(tmp()).removeRecursively());
    ASSERT_TRUE(writeFile(tmp(), "a file named tmp"));
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), Mod_Varnox::kTmpNotOurs);
    EXPECT_EQ(readFile(tmp()), "a file named tmp");

    // An empty one holds nothing to lose: it is taken over and marked.
    ASSERT_TRUE(QFile::remove(tmp()));
    ASSERT_TRUE(QDir().mkpath(tmp()));
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "new.jpg"}));
}

// At start-up the command line's archive starts unpacking before the window is built; the
// open procedure's extraction then takes it over and must end exactly as one started then.
TEST_F(ExtractTest, AnExtractionStartedAheadEndsAsOneStartedByTheOpen)
{
    ZipWriter zip;
    zip.addFile("1.jpg", "one");
    zip.addFile("sub/2.jpg", "two", ZipWriter::Method::Deflated);
    ASSERT_TRUE(zip.write(archive("a.zip")));
    test::LzhWriter lzh;
    lzh.addFile("new.jpg", "new");
    ASSERT_TRUE(lzh.write(archive("b.lzh")));
    ASSERT_EQ(Mod_Varnox::Lzh_Extract(m_owner, archive("b.lzh")), 0);

    // Taken over: the watch hears of every file, also those written before it was given.
    Mod_Varnox::Zip_Extract_Ahead(archive("a.zip"));
    QStringList planned;
    QStringList written;
    std::mutex mutex;
    Archiver::MemberWatch watch;
    watch.planned = [&](const QStringList& files) {
        const std::lock_guard lock(mutex);
        planned += files;
    };
    watch.written = [&](const QString& file) {
        const std::lock_guard lock(mutex);
        written << file;
    };
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip"), watch), 0);
    planned.sort();
    written.sort();
    EXPECT_EQ(planned, QStringList({"1.jpg", "sub/2.jpg"}));
    EXPECT_EQ(written, planned);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "1.jpg", "sub/", "sub/2.jpg"}));

    // Not the archive opened then: it ends first, and what the open unpacks replaces it.
    Mod_Varnox::Zip_Extract_Ahead(archive("a.zip"));
    EXPECT_EQ(Mod_Varnox::Lzh_Extract(m_owner, archive("b.lzh")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "new.jpg"}));

    // Failures are the ones the open would have met itself.
    Mod_Varnox::Zip_Extract_Ahead(archive("missing.zip"));
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("missing.zip")),
              Archiver::Result::CannotOpenArchive);
    ASSERT_TRUE(QDir(tmp()).removeRecursively());
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/notes/todo.txt"), "mine"));
    Mod_Varnox::Zip_Extract_Ahead(archive("a.zip"));
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), Mod_Varnox::kTmpNotOurs);
    EXPECT_EQ(fileTree(tmp()), QStringList({"notes/", "notes/todo.txt"}));
}

/// Runs the work in place, with a hook that records what it hears, and keeps when the
/// unpacking began by the caller's word.
class RecordingFeedback final : public ExtractionFeedback {
public:
    RecordingFeedback() { setExtractionFeedback(this); }
    ~RecordingFeedback() override { setExtractionFeedback(nullptr); }
    RecordingFeedback(const RecordingFeedback&) = delete;
    RecordingFeedback& operator=(const RecordingFeedback&) = delete;

    int run(quintptr /*owner*/, const QString& /*archiveName*/, const ExtractionWork& work,
            std::chrono::steady_clock::time_point startedAt,
            const std::function<void()>& /*openEarly*/) override
    {
        started = startedAt;
        return work(
            [this](const Archiver::Progress& progress) {
                reports.push_back(progress);
                return Archiver::Reply::Continue;
            },
            FirstPageOut());
    }

    std::chrono::steady_clock::time_point started;
    std::vector<Archiver::Progress> reports;
};

// The progress window's delay runs from when the unpacking began, and it starts from
// what the extraction has done, even when all of that happened before the open took over.
TEST_F(ExtractTest, AnExtractionTakenOverTellsWhenItBeganAndHowFarItCame)
{
    ZipWriter zip;
    zip.addFile("1.jpg", "one");
    zip.addFile("2.jpg", "two");
    ASSERT_TRUE(zip.write(archive("a.zip")));
    RecordingFeedback feedback;

    Mod_Varnox::Zip_Extract_Ahead(archive("a.zip"));
    const auto startedAhead = std::chrono::steady_clock::now();
    // Done before the open comes, as a small book is while the window is built.
    for (int wait = 0; wait < 500 && fileTree(tmp()).size() < 3; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto opened = std::chrono::steady_clock::now();
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), 0);
    EXPECT_LE(feedback.started, startedAhead);
    ASSERT_FALSE(feedback.reports.empty());
    EXPECT_EQ(feedback.reports.back().archiveSize, QFileInfo(archive("a.zip")).size());

    // Started by the open itself: from then.
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), 0);
    EXPECT_GT(feedback.started, opened);
}

// Earlier versions left an unmarked tmp with the last book's pages in Folivo's own data
// folder; an upgrade must not refuse every archive after that, while the same tmp under a
// FOLIVO_HOME of the user's choosing stays untouched.
TEST(ExtractEarlierVersion, AnUnmarkedTmpInFolivosOwnDataFolderIsTakenOver)
{
    QTemporaryDir data;
    QTemporaryDir archives;
    const QByteArray oldHome = qgetenv("FOLIVO_HOME");
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qunsetenv("FOLIVO_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    const QString tmp = tmpFolderPath();
    ASSERT_TRUE(tmp.startsWith(data.path()));
    ASSERT_TRUE(writeFile(tmp + QStringLiteral("/old book/001.jpg"), "old"));
    ZipWriter zip;
    zip.addFile("new.jpg", "new");
    ASSERT_TRUE(zip.write(archives.filePath(QStringLiteral("a.zip"))));
    quintptr owner = 0;

    EXPECT_EQ(Mod_Varnox::Zip_Extract(owner, archives.filePath(QStringLiteral("a.zip"))), 0);
    EXPECT_EQ(fileTree(tmp), QStringList({kMarker, "new.jpg"}));

    // Any other folder of that name in the data folder is not the temporary folder.
    const QString other = data.filePath(QStringLiteral("folivo/other"));
    ASSERT_TRUE(writeFile(other + QStringLiteral("/mine.txt"), "mine"));
    EXPECT_EQ(Mod_Varnox::Tmp_Clear(other, owner), -1);
    EXPECT_EQ(fileTree(other), QStringList{"mine.txt"});

    qputenv("FOLIVO_HOME", oldHome);
    if (oldData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
}

TEST_F(ExtractTest, AnArchiveInsideTheTemporaryFolderIsNotDeletedBeforeItIsRead)
{
    ZipWriter inner;
    inner.addFile("page.jpg", "page");
    ZipWriter outer;
    outer.addFile("vol/inner.zip", inner.bytes());
    ASSERT_TRUE(outer.write(archive("outer.zip")));
    ASSERT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("outer.zip")), 0);
    const QStringList unpacked = fileTree(tmp());

    // Reached through a path of its own, as a drop from a file manager gives it.
    const QString dotted = tmp() + QStringLiteral("/vol/../vol/inner.zip");
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, dotted), Mod_Varnox::kArchiveInTmp);
    EXPECT_EQ(Mod_Varnox::Lzh_Extract(m_owner, tmp() + QStringLiteral("/vol/inner.zip")),
              Mod_Varnox::kArchiveInTmp);
    EXPECT_EQ(fileTree(tmp()), unpacked);
}

TEST_F(ExtractTest, ClearingNeverReachesThroughLinks)
{
    const QString outside = m_archives.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(writeFile(outside + QStringLiteral("/precious.jpg"), "keep"));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/sub/page.jpg"), "page"));
    ASSERT_TRUE(writeFile(tmp() + QLatin1Char('/') + kMarker, ""));
    ASSERT_TRUE(QFile::link(outside, tmp() + QStringLiteral("/sub/lnk")));

    Mod_Varnox::Tmp_Clear(tmp(), m_owner);
    EXPECT_TRUE(QFileInfo(tmp()).isDir());
    EXPECT_EQ(fileTree(tmp()), QStringList{kMarker});
    EXPECT_EQ(readFile(outside + QStringLiteral("/precious.jpg")), "keep");
}

TEST_F(ExtractTest, ATemporaryFolderThatIsALinkIsNeverFollowed)
{
    const QString outside = m_archives.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(writeFile(outside + QStringLiteral("/precious.jpg"), "keep"));
    ASSERT_TRUE(QFile::link(outside, tmp()));

    // A link to a folder of the user's is left alone...
    EXPECT_EQ(Mod_Varnox::Tmp_Clear(tmp(), m_owner), -1);
    EXPECT_EQ(fileTree(outside), QStringList{"precious.jpg"});

    // ...and one to a folder that carries the mark is replaced, not followed.
    ASSERT_TRUE(writeFile(outside + QLatin1Char('/') + kMarker, ""));
    EXPECT_EQ(Mod_Varnox::Tmp_Clear(tmp(), m_owner), 0);
    EXPECT_FALSE(QFileInfo(tmp()).isSymLink());
    EXPECT_TRUE(QFileInfo(tmp()).isDir());
    EXPECT_EQ(readFile(outside + QStringLiteral("/precious.jpg")), "keep");
}

TEST_F(ExtractTest, ClearingLeavesAFreshMarkedFolderAndDeletesTheOldContentAside)
{
    ASSERT_TRUE(writeFile(tmp() + QLatin1Char('/') + kMarker, ""));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/001.jpg"), "page"));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/vol/002.jpg"), "page"));

    EXPECT_EQ(Mod_Varnox::Tmp_Clear(tmp(), m_owner), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList{kMarker});
    // Until the deletion ends, the old content may only lie in a marked folder set aside. The
    // deletion runs meanwhile and takes the mark last: a folder seen without its mark must
    // already be empty, or gone.
    for (const QString& name : QDir(m_home.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name != QLatin1String("tmp")) {
            EXPECT_TRUE(name.startsWith(QLatin1String("tmp.old-"))) << name.toStdString();
            if (!QFileInfo::exists(sibling(name) + QLatin1Char('/') + kMarker)) {
                EXPECT_EQ(fileTree(sibling(name)), QStringList()) << name.toStdString();
            }
        }
    }
    Mod_Varnox::waitForBackgroundClearing();
    EXPECT_EQ(homeTree(), QStringList({"tmp.lock", "tmp/", "tmp/" + kMarker}));
}

// A program that ended while deleting leaves a marked folder aside; the next clear finishes
// it. What is not marked is the user's, whatever its name.
TEST_F(ExtractTest, ClearingSweepsMarkedLeftoversAndNeverTouchesAnythingElse)
{
    const QString outside = m_archives.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(writeFile(outside + QLatin1Char('/') + kMarker, ""));
    ASSERT_TRUE(writeFile(outside + QStringLiteral("/precious.jpg"), "keep"));
    const QString leftover = sibling(QStringLiteral("tmp.old-4242-7"));
    ASSERT_TRUE(writeFile(leftover + QLatin1Char('/') + kMarker, ""));
    ASSERT_TRUE(writeFile(leftover + QStringLiteral("/vol/page.jpg"), "page"));
    ASSERT_TRUE(QFile::link(outside, leftover + QStringLiteral("/vol/lnk")));
    ASSERT_TRUE(writeFile(sibling(QStringLiteral("tmp.old-1-0/mine.txt")), "mine"));
    ASSERT_TRUE(writeFile(sibling(QStringLiteral("tmp.old-mine/") + kMarker), ""));
    ASSERT_TRUE(QFile::link(outside, sibling(QStringLiteral("tmp.old-2-0"))));
    // Empty and unmarked where this process would set its first folder aside.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(QDir().mkpath(sibling(QStringLiteral("tmp.old-%1-%2").arg(pid).arg(n))));
    ASSERT_TRUE(writeFile(tmp() + QLatin1Char('/') + kMarker, ""));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/001.jpg"), "page"));
    QStringList untouched = homeTree();
    untouched.removeIf([](const QString& entry) {
        return entry.startsWith(QLatin1String("tmp/")) ||
               entry.startsWith(QLatin1String("tmp.old-4242-7"));
    });

    untouched << QStringLiteral("tmp/") << "tmp/" + kMarker << QStringLiteral("tmp.lock");
    std::sort(untouched.begin(), untouched.end());

    EXPECT_EQ(Mod_Varnox::Tmp_Clear(tmp(), m_owner), 0);
    Mod_Varnox::waitForBackgroundClearing();
    EXPECT_EQ(homeTree(), untouched);
    EXPECT_EQ(fileTree(outside), QStringList({kMarker, "precious.jpg"}));
}

/// Makes the temporary folder's disk report the given size and free space.
class DiskSpace {
public:
    DiskSpace(qint64 size, qint64 free)
    {
        Archiver::testing::setDiskSpaceProbe([size, free](const QString&) {
            return std::optional(Archiver::testing::DiskSpace{size, free});
        });
    }
    ~DiskSpace() { Archiver::testing::setDiskSpaceProbe({}); }
    DiskSpace(const DiskSpace&) = delete;
    DiskSpace& operator=(const DiskSpace&) = delete;
};

constexpr qint64 kDiskSize = qint64(100) << 20;
constexpr qint64 kMargin = kDiskSize / 100 * 5;

// The disk is checked before the previous book is deleted, counting what deleting it frees:
// a book that will not fit leaves the previous one as it was; one that fits once the
// previous one is gone is unpacked.
TEST_F(ExtractTest, TheDiskIsCheckedBeforeThePreviousBookIsDeleted)
{
    ZipWriter previous;
    for (int i = 0; i < 4; ++i)
        previous.addFile("old" + QByteArray::number(i) + ".jpg", test::sampleData(100000, i));
    ASSERT_TRUE(previous.write(archive("previous.zip")));
    ASSERT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("previous.zip")), 0);
    Mod_Varnox::waitForBackgroundClearing();
    const QStringList previousTree = fileTree(tmp());
    const qint64 reclaimable = Mod_Varnox::tmpReclaimableBytes(tmp());
    EXPECT_GE(reclaimable, 400000);

    ZipWriter next;
    next.addFile("new.jpg", test::sampleData(300000, 9));
    ASSERT_TRUE(next.write(archive("next.zip")));
    {
        // Not even with the previous book's room.
        const DiskSpace disk(kDiskSize, kMargin + 300000 - reclaimable - 1);
        Mod_Varnox::ExtractionReport report;
        EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("next.zip"), {}, &report),
                  Mod_Varnox::kDiskTooSmall);
        EXPECT_EQ(fileTree(tmp()), previousTree);
        ASSERT_TRUE(report.diskShortage.has_value());
        EXPECT_EQ(report.diskShortage->needed, kMargin + 300000);
        EXPECT_EQ(report.diskShortage->available, kMargin + 300000 - 1);
    }
    {
        // Only with it.
        const DiskSpace disk(kDiskSize, kMargin + 300000 - reclaimable);
        Mod_Varnox::ExtractionReport report;
        EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("next.zip"), {}, &report), 0);
        EXPECT_FALSE(report.diskShortage.has_value());
        EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "new.jpg"}));
        // Nothing of the previous book is left lying aside.
        EXPECT_EQ(homeTree(), QStringList({"tmp.lock", "tmp/", "tmp/" + kMarker, "tmp/new.jpg"}));
    }
}

// Another Folivo program reading its book from the temporary folder (a lock on a file beside
// it, held by another open file, as another process holds it) keeps this one from emptying
// it, whether the extraction was started ahead or not; once it lets go, the folder is free.
TEST_F(ExtractTest, AFolderAnotherProgramReadsIsNeverEmptied)
{
    ZipWriter first;
    first.addFile("a1.jpg", "first book");
    ASSERT_TRUE(first.write(archive("first.zip")));
    ZipWriter second;
    second.addFile("b1.jpg", "second book");
    ASSERT_TRUE(second.write(archive("second.zip")));
    ASSERT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("first.zip")), 0);
    // This program shows the book, and so holds the folder as a reader only.
    Mod_Varnox::followShownFolder(tmp());
    EXPECT_EQ(Mod_Varnox::tmpFolderLock().claim(), FileLock::Claim::Shared);

    {
        FileLock otherProgram(tmp() + QStringLiteral(".lock"));
        ASSERT_TRUE(otherProgram.share());
        EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("second.zip")), Mod_Varnox::kTmpInUse);
        Mod_Varnox::Zip_Extract_Ahead(archive("second.zip"));
        EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("second.zip")), Mod_Varnox::kTmpInUse);
        EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "a1.jpg"}));
        // Still this program's claim as a reader: the other cannot take the folder either.
        EXPECT_FALSE(otherProgram.takeAlone());
    }
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("second.zip")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "b1.jpg"}));

    // Showing a folder elsewhere lets the temporary folder go.
    Mod_Varnox::followShownFolder(m_archives.path());
    FileLock otherProgram(tmp() + QStringLiteral(".lock"));
    EXPECT_TRUE(otherProgram.takeAlone());
}

// A folder this program may not empty is not held against the others either.
TEST_F(ExtractTest, ARefusedClearingKeepsNoClaimOnTheFolder)
{
    ZipWriter zip;
    zip.addFile("a1.jpg", "a page");
    ASSERT_TRUE(zip.write(archive("a.zip")));
    ASSERT_TRUE(writeFile(tmp() + QStringLiteral("/notes/todo.txt"), "mine"));
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), Mod_Varnox::kTmpNotOurs);
    EXPECT_EQ(Mod_Varnox::tmpFolderLock().claim(), FileLock::Claim::None);
    FileLock otherProgram(tmp() + QStringLiteral(".lock"));
    EXPECT_TRUE(otherProgram.takeAlone());
}

// The lock is the kernel's: a reader killed without a chance to clean up leaves nothing that
// keeps the folder from the next program.
TEST_F(ExtractTest, AnotherBookStartedAheadReplacesThePreviousOne)
{
    ZipWriter first;
    first.addFile("old.jpg", "old");
    ASSERT_TRUE(first.write(archive("first.zip")));
    ASSERT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("first.zip")), 0);
    ASSERT_TRUE(test::writeLibarchiveSample("test_read_format_rar5_stored.rar", archive("b.rar")));

    // Started ahead, as at start-up, and taken over.
    Mod_Varnox::Archive_Extract_Ahead(archive("b.rar"));
    EXPECT_EQ(Mod_Varnox::Archive_Extract(m_owner, archive("b.rar")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "helloworld.txt"}));
}

TEST_F(ExtractTest, AKilledReaderLeavesNoLockBehind)
{
    ZipWriter zip;
    zip.addFile("a1.jpg", "a page");
    ASSERT_TRUE(zip.write(archive("a.zip")));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        FileLock lock(tmp() + QStringLiteral(".lock"));
        const char held = lock.share() ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), Mod_Varnox::kTmpInUse);
    ::kill(reader, SIGKILL);
    ASSERT_EQ(::waitpid(reader, nullptr, 0), reader);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(Mod_Varnox::Zip_Extract(m_owner, archive("a.zip")), 0);
    EXPECT_EQ(fileTree(tmp()), QStringList({kMarker, "a1.jpg"}));
}

} // namespace
} // namespace folivo
