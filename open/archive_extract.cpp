#include "open/archive_extract.h"

#include "archive/archiver.h"
#include "open/archive_extract_testing.h"
#include "open/extraction_feedback.h"
#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "platform/work_pool.h"
#include "settings/reading_options.h"
#include "view/page_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/stat.h>

namespace folivo::Mod_Varnox {
namespace {

// Written into the marker, for whoever finds the folder.
const QByteArray kMarkerText =
    "This folder is Folivo's temporary folder: everything in it is deleted when the next\n"
    "archive is opened.\n";

QString markerPath(const QString& folder)
{
    return joinPath(folder, kTmpMarkerName);
}

bool isMarked(const QString& folder)
{
    const QFileInfo marker(markerPath(folder));
    return marker.isFile() && !marker.isSymLink();
}

void mark(const QString& folder)
{
    QFile marker(markerPath(folder));
    if (marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
        marker.write(kMarkerText);
}

// A folder that cannot be made shows up as the archiver's own failure to write into it.
void makeMarkedFolder(const QString& folder)
{
    try {
        makeFolder(folder);
        mark(folder);
    } catch (const Error&) {
    }
}

bool isEmptyFolder(const QString& folder)
{
    return QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

// Whether emptying the folder would delete the archive's directory entry. Emptying only
// unlinks a folder that is a link, so nothing behind one is at risk; the archive's own name
// is not resolved, since a link to an archive elsewhere is deleted all the same.
bool liesInside(const QString& archive, const QString& folder)
{
    const QFileInfo folderInfo(folder);
    if (folderInfo.isSymLink() || !folderInfo.isDir())
        return false;
    const QString outer = folderInfo.canonicalFilePath();
    const QString inner = QFileInfo(QFileInfo(archive).absolutePath()).canonicalFilePath();
    return !inner.isEmpty() && (inner == outer || inner.startsWith(outer + kPathSeparator));
}

// Emptying a folder of 200 scans takes longer than the reader should wait before the next
// book: the old content is renamed aside, to a marked sibling, and deleted in the background.
const QLatin1StringView kAsideInfix(".old-");
// Beside the folder, so that emptying it never touches the lock.
const QLatin1StringView kLockSuffix(".lock");

QString asideName(const QString& folder, qint64 number)
{
    return folder + kAsideInfix + QString::number(QCoreApplication::applicationPid()) +
           QLatin1Char('-') + QString::number(number);
}

bool exists(const QFileInfo& info)
{
    return info.exists() || info.isSymLink();
}

// Renames a marked folder aside in one step; false when it stays where it is.
bool setAside(const QString& folder)
{
    static std::atomic<qint64> nextNumber{0};
    if (QFileInfo(folder).isSymLink() || !isMarked(folder))
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString aside = asideName(folder, nextNumber++);
        // A folder of that name, even an empty one, is not Folivo's to replace.
        if (exists(QFileInfo(aside)))
            continue;
        return QDir().rename(folder, aside);
    }
    return false;
}

// Deletes a folder set aside, if it still carries the mark. The mark goes last, so that a
// deletion cut short by the program's end is taken up again by the next sweep.
void removeSetAside(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir() || !isMarked(folder))
        return;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (name != kTmpMarkerName)
            removeTree(dir.filePath(name));
    }
    QFile::remove(markerPath(folder));
    QDir().rmdir(folder);
}

// The folders set aside beside the temporary folder, by this run or an earlier one, that
// clearing deletes: named "<folder>.old-<pid>-<n>", not links.
QStringList setAsideFolders(const QString& folder)
{
    const QFileInfo info(folder);
    const QDir parent = info.absoluteDir();
    const QRegularExpression asidePattern(
        QLatin1Char('^') + QRegularExpression::escape(info.fileName()) +
        QRegularExpression::escape(kAsideInfix) + QLatin1String("[0-9]+-[0-9]+$"));
    const QStringList names =
        parent.entryList({info.fileName() + kAsideInfix + QLatin1Char('*')},
                         QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    QStringList folders;
    for (const QString& name : names) {
        if (asidePattern.match(name).hasMatch())
            folders << parent.filePath(name);
    }
    return folders;
}

// Deletes every marked folder set aside beside the temporary folder: the one just renamed,
// and any that an earlier run left when it ended before its deletion did.
void sweepSetAside(const QString& folder)
{
    for (const QString& aside : setAsideFolders(folder))
        removeSetAside(aside);
}

// One thread, so that two sweeps never delete the same folder at once. A program that
// returns from main waits here for the last deletion; one that ends at once leaves it to the
// next sweep. Not lowered: an extraction that needs the room waits for it.
WorkPool& sweeper()
{
    static WorkPool pool(1, WorkPool::Priority::Normal);
    return pool;
}

void sweepInBackground(const QString& folder)
{
    sweeper().start([folder] { sweepSetAside(folder); });
}

QString commandLine(QLatin1StringView options, const QString& archive, const QString& tmpFolder)
{
    return options + QLatin1Char('"') + archive + QLatin1String("\" \"") + tmpFolder +
           kPathSeparator + QLatin1String("\" *.*");
}

using VersionCall = int (*)();
using ExtractCall = int (*)(quintptr, const QString&, QString&, int, const Archiver::Hooks&);
using CommandLineBuilder = QString (*)(const QString&, const QString&);

// What one extraction's preparation found, told from the unpacking thread and read once the
// extraction has ended: the folder is emptied only for an archive that fits on the disk.
class Attempt {
public:
    Archiver::Preparation preparation(const QString& tmpFolder, quintptr owner)
    {
        Archiver::Preparation preparation;
        preparation.reclaimableBytes = [tmpFolder] { return tmpReclaimableBytes(tmpFolder); };
        preparation.prepare = [this, tmpFolder, owner](bool needsReclaimedSpace) {
            const std::int32_t cleared = Tmp_Clear(tmpFolder, owner);
            if (cleared != 0) {
                m_refusal = cleared == kTmpInUse ? kTmpInUse : kTmpNotOurs;
                return false;
            }
            // The book fits only once the old pages are really gone from the disk.
            if (needsReclaimedSpace)
                waitForBackgroundClearing();
            return true;
        };
        preparation.diskShort = [this](const Archiver::DiskShortage& shortage) {
            m_shortage = shortage;
        };
        preparation.encrypted = [this] { m_encrypted = true; };
        return preparation;
    }

    /// The extraction's result as Zip_Extract returns it.
    std::int32_t result(int archiverResult, ExtractionReport* report) const
    {
        if (report) {
            report->diskShortage = m_shortage;
            report->encrypted = m_encrypted;
        }
        if (m_refusal)
            return *m_refusal;
        if (m_shortage && !m_shortage->atLeast)
            return kDiskTooSmall;
        return archiverResult;
    }

private:
    std::optional<std::int32_t> m_refusal;
    std::optional<Archiver::DiskShortage> m_shortage;
    bool m_encrypted = false;
};

// An extraction started at start-up for the archive the command line names, while the
// window is being built on one core and the other would sit idle. Until the open procedure
// reaches it, what it reports is kept for the watch and the progress window that come then.
class ExtractionAhead {
public:
    ExtractionAhead(const QString& archive, ExtractCall run, CommandLineBuilder build)
        : m_archive(archive)
        , m_run(run)
        , m_started(std::chrono::steady_clock::now())
    {
        m_result = m_pool.run([this, build] { return work(build); });
    }
    ExtractionAhead(const ExtractionAhead&) = delete;
    ExtractionAhead& operator=(const ExtractionAhead&) = delete;

    bool isFor(const QString& archive, ExtractCall run) const
    {
        return archive == m_archive && run == m_run;
    }

    std::chrono::steady_clock::time_point started() const { return m_started; }

    /// Takes the extraction over: the hook and the watch hear of what it has done so far and
    /// of what it does from now on. Returns its result once it has ended.
    int finish(const Archiver::ProgressHook& hook, const Archiver::MemberWatch& watch)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_planned && watch.planned)
                watch.planned(*m_planned);
            if (watch.written) {
                for (const QString& file : std::as_const(m_written))
                    watch.written(file);
            }
            if (m_ended && watch.ended)
                watch.ended();
            // The progress window may show at once; it starts from where the work stands.
            // A stop it answers is heard at the work's next report.
            if (m_reported && hook)
                hook(*m_reported);
            m_hook = &hook;
            m_watch = &watch;
        }
        const int result = m_result.get();
        const std::lock_guard lock(m_mutex);
        m_hook = nullptr;
        m_watch = nullptr;
        return result;
    }

    /// Once finish() has returned.
    const Attempt& attempt() const { return m_attempt; }

private:
    int work(CommandLineBuilder build)
    {
        const QString tmpFolder = tmpFolderPath();
        const Archiver::ProgressHook hook = [this](const Archiver::Progress& progress) {
            const std::lock_guard lock(m_mutex);
            m_reported = progress;
            return m_hook && *m_hook ? (*m_hook)(progress) : Archiver::Reply::Continue;
        };
        Archiver::MemberWatch watch;
        watch.planned = [this](const QStringList& files) {
            const std::lock_guard lock(m_mutex);
            m_planned = files;
            if (m_watch && m_watch->planned)
                m_watch->planned(files);
        };
        watch.written = [this](const QString& file) {
            const std::lock_guard lock(m_mutex);
            m_written << file;
            if (m_watch && m_watch->written)
                m_watch->written(file);
        };
        // The open procedure that takes the extraction over shows this page first.
        watch.first = Mod_Varnox::firstPictureAmong;
        watch.ended = [this] {
            const std::lock_guard lock(m_mutex);
            m_ended = true;
            if (m_watch && m_watch->ended)
                m_watch->ended();
        };
        QString output;
        return m_run(0, build(m_archive, tmpFolder), output, 0,
                     {hook, watch, m_attempt.preparation(tmpFolder, 0)});
    }

    const QString m_archive;
    const ExtractCall m_run;
    const std::chrono::steady_clock::time_point m_started;
    std::mutex m_mutex;
    std::optional<QStringList> m_planned;
    QStringList m_written;
    bool m_ended = false;
    std::optional<Archiver::Progress> m_reported;
    const Archiver::ProgressHook* m_hook = nullptr;
    const Archiver::MemberWatch* m_watch = nullptr;
    Attempt m_attempt;
    std::future<int> m_result;
    /// Last, so that it goes first: the work it runs uses every member above.
    WorkPool m_pool{1, WorkPool::Priority::Normal};
};

// On the user-interface thread only.
std::unique_ptr<ExtractionAhead>& extractionAhead()
{
    static std::unique_ptr<ExtractionAhead> ahead;
    return ahead;
}

void startAhead(VersionCall version, ExtractCall run, CommandLineBuilder build,
                const QString& archive)
{
    // Made first, on this thread: the pool must outlive an extraction still running when the
    // program ends, and must not belong to a thread that ends before it.
    sweeper();
    // What would make the open procedure refuse the archive is left for it to find then.
    if (extractionAhead() || version() == 0 || liesInside(archive, tmpFolderPath()))
        return;
    extractionAhead() = std::make_unique<ExtractionAhead>(archive, run, build);
}

// The folder now holds this program's book, which it is about to show: other programs may
// read it too, but not empty it.
void shareAfterExtraction()
{
    if (tmpFolderLock().claim() == FileLock::Claim::Alone)
        tmpFolderLock().share();
}

// The caller's watch, with the page a reader sees first written before the others and told
// to `out` once it is: the first picture of the folder's listing among the files planned.
Archiver::MemberWatch watchingFirstPage(const Archiver::MemberWatch& watch, const FirstPageOut& out)
{
    if (!out)
        return watch;
    struct Awaited {
        std::mutex mutex;
        QString path;
    };
    const auto awaited = std::make_shared<Awaited>();
    Archiver::MemberWatch told = watch;
    told.first = Mod_Varnox::firstPictureAmong;
    told.planned = [awaited, planned = watch.planned](const QStringList& paths) {
        const qsizetype first = Mod_Varnox::firstPictureAmong(paths);
        {
            const std::lock_guard lock(awaited->mutex);
            awaited->path = first < 0 ? QString() : paths.at(first);
        }
        if (planned)
            planned(paths);
    };
    told.written = [awaited, written = watch.written, out](const QString& path) {
        if (written)
            written(path);
        const std::lock_guard lock(awaited->mutex);
        if (!awaited->path.isEmpty() && path == awaited->path) {
            awaited->path.clear();
            out();
        }
    };
    return told;
}

std::atomic<std::uint64_t> unpackingGeneration{0};

std::int32_t extract(VersionCall version, ExtractCall run, CommandLineBuilder build, quintptr owner,
                     const QString& archive, const Archiver::MemberWatch& watch,
                     ExtractionReport* report, const std::function<void()>& openEarly)
{
    if (const std::unique_ptr<ExtractionAhead> ahead = std::exchange(extractionAhead(), nullptr)) {
        if (ahead->isFor(archive, run)) {
            const int result = extractionFeedback().run(
                owner, QFileInfo(archive).fileName(),
                [&](const Archiver::ProgressHook& hook, const FirstPageOut& out) {
                    return ahead->finish(hook, watchingFirstPage(watch, out));
                },
                ahead->started(), openEarly);
            shareAfterExtraction();
            return ahead->attempt().result(result, report);
        }
        // Another archive: the one started ahead ends before this one empties the folder.
    }
    if (version() == 0)
        return kArchiverMissing;
    const QString tmpFolder = tmpFolderPath();
    if (liesInside(archive, tmpFolder))
        return kArchiveInTmp;
    const QString line = build(archive, tmpFolder);
    Attempt attempt;
    const Archiver::Preparation preparation = attempt.preparation(tmpFolder, owner);
    // The owner window is where the archivers showed their progress; here it is where ours
    // shows, over the main window, while the event loop keeps it painting.
    const int result = extractionFeedback().run(
        owner, QFileInfo(archive).fileName(),
        [&](const Archiver::ProgressHook& hook, const FirstPageOut& out) {
            QString output;
            return run(owner, line, output, 0, {hook, watchingFirstPage(watch, out), preparation});
        },
        std::chrono::steady_clock::now(), openEarly);
    shareAfterExtraction();
    return attempt.result(result, report);
}

// Bytes a file or folder holds on its disk, links not followed.
qint64 allocatedBytes(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    qint64 bytes = static_cast<qint64>(info.st_blocks) * 512;
    if (S_ISDIR(info.st_mode)) {
        const QStringList names = QDir(path).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names)
            bytes += allocatedBytes(joinPath(path, name));
    }
    return bytes;
}

} // namespace

std::int32_t Archive_Check(const QString& name)
{
    const QString lower = name.toLower();
    const QString tail = lower.right(4);
    if (tail == QLatin1String(".zip"))
        return 1;
    if (tail == QLatin1String(".lzh"))
        return 2;
    if (!ReadingOptions::isOn(ReadingOptions::Option::MoreFormats))
        return 0;
    if (tail == QLatin1String(".cbz"))
        return 1;
    static const QLatin1StringView kOtherEnds[] = {
        QLatin1StringView(".rar"),    QLatin1StringView(".cbr"),    QLatin1StringView(".7z"),
        QLatin1StringView(".cb7"),    QLatin1StringView(".tar"),    QLatin1StringView(".cbt"),
        QLatin1StringView(".tar.gz"), QLatin1StringView(".tgz"),    QLatin1StringView(".tar.bz2"),
        QLatin1StringView(".tbz2"),   QLatin1StringView(".tar.xz"), QLatin1StringView(".txz")};
    for (const QLatin1StringView end : kOtherEnds) {
        if (lower.endsWith(end))
            return 3;
    }
    return 0;
}

QString zipCommandLine(const QString& archive, const QString& tmpFolder)
{
    return commandLine(Archiver::commandLineOptions(Archiver::Format::Zip), archive, tmpFolder);
}

QString lzhCommandLine(const QString& archive, const QString& tmpFolder)
{
    return commandLine(Archiver::commandLineOptions(Archiver::Format::Lzh), archive, tmpFolder);
}

QString otherCommandLine(const QString& archive, const QString& tmpFolder)
{
    return commandLine(Archiver::commandLineOptions(Archiver::Format::Other), archive, tmpFolder);
}

std::int32_t Zip_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch, ExtractionReport* report,
                         const std::function<void()>& openEarly)
{
    return extract(Archiver::UnZipGetVersion, Archiver::UnZip, zipCommandLine, owner, archive,
                   watch, report, openEarly);
}

std::int32_t Lzh_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch, ExtractionReport* report,
                         const std::function<void()>& openEarly)
{
    return extract(Archiver::UnlhaGetVersion, Archiver::Unlha, lzhCommandLine, owner, archive,
                   watch, report, openEarly);
}

std::int32_t Archive_Extract(quintptr& owner, const QString& archive,
                             const Archiver::MemberWatch& watch, ExtractionReport* report,
                             const std::function<void()>& openEarly)
{
    return extract(Archiver::UnarchiveGetVersion, Archiver::Unarchive, otherCommandLine, owner,
                   archive, watch, report, openEarly);
}

void endUnpacking()
{
    ++unpackingGeneration;
    extractionFeedback().endEarlyReading();
}

std::uint64_t unpackingEnds()
{
    return unpackingGeneration.load();
}

void Zip_Extract_Ahead(const QString& archive)
{
    startAhead(Archiver::UnZipGetVersion, Archiver::UnZip, zipCommandLine, archive);
}

void Lzh_Extract_Ahead(const QString& archive)
{
    startAhead(Archiver::UnlhaGetVersion, Archiver::Unlha, lzhCommandLine, archive);
}

void Archive_Extract_Ahead(const QString& archive)
{
    startAhead(Archiver::UnarchiveGetVersion, Archiver::Unarchive, otherCommandLine, archive);
}

namespace {

std::int32_t clearFolder(const QString& folder, quintptr owner)
{
    // There is no progress window to own here.
    Q_UNUSED(owner);
    try {
        fileAttributes(folder);
    } catch (const Error&) {
        // Made here, so that it carries the mark from the start.
        makeMarkedFolder(folder);
        sweepInBackground(folder);
        return 0;
    }
    if (!isMarked(folder)) {
        // The install folder may be a home folder with a tmp of the user's own: what Folivo
        // did not put there is never deleted, and a link is not followed to mark a folder.
        if (QFileInfo(folder).isSymLink() || !isFolder(folder))
            return -1;
        // Versions before the mark left an unmarked tmp holding the last archive's pages in
        // Folivo's own data folder; refusing it would stop every archive from opening.
        const bool leftByEarlierVersion =
            installFolderIsFolivos() && QFileInfo(folder) == QFileInfo(tmpFolderPath());
        if (!leftByEarlierVersion) {
            if (!isEmptyFolder(folder))
                return -1;
            mark(folder);
            sweepInBackground(folder);
            return 0;
        }
        // Marked like every folder set aside, so that a sweep may finish deleting it.
        mark(folder);
    }
    // removeTree unlinks links inside the folder without following them, so clearing never
    // reaches outside it; a link given as the folder is only unlinked, never set aside.
    if (!setAside(folder))
        removeTree(folder);
    makeMarkedFolder(folder);
    sweepInBackground(folder);
    return 0;
}

} // namespace

std::int32_t Tmp_Clear(const QString& folder, quintptr owner)
{
    const bool isTmp = QFileInfo(folder) == QFileInfo(tmpFolderPath());
    const FileLock::Claim claimBefore = isTmp ? tmpFolderLock().claim() : FileLock::Claim::None;
    // Another Folivo program reading its book from the folder would see its pages vanish,
    // or pages of this book appear among them.
    if (isTmp && !tmpFolderLock().takeAlone())
        return kTmpInUse;
    const std::int32_t result = clearFolder(folder, owner);
    // A folder left as it was is claimed as it was: held alone for nothing, it would keep
    // every other program from it.
    if (isTmp && result != 0) {
        if (claimBefore == FileLock::Claim::Shared)
            tmpFolderLock().share();
        else
            tmpFolderLock().release();
    }
    return result;
}

void waitForBackgroundClearing()
{
    sweeper().waitForDone();
}

FileLock& tmpFolderLock()
{
    // The install folder is fixed for the program's life; tests give each case its own.
    static std::mutex mutex;
    static std::unique_ptr<FileLock> lock;
    static QString lockedFolder;
    const std::lock_guard guard(mutex);
    const QString folder = tmpFolderPath();
    if (!lock || folder != lockedFolder) {
        lock = std::make_unique<FileLock>(folder + kLockSuffix);
        lockedFolder = folder;
    }
    return *lock;
}

void followShownFolder(const QString& folder)
{
    const QString tmp = tmpFolderPath();
    const bool inTmp = folder == tmp || folder.startsWith(tmp + kPathSeparator);
    if (inTmp)
        tmpFolderLock().share();
    else if (tmpFolderLock().claim() != FileLock::Claim::None)
        tmpFolderLock().release();
}

qint64 tmpReclaimableBytes(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir() || !isMarked(folder))
        return 0;
    qint64 bytes = allocatedBytes(folder);
    for (const QString& aside : setAsideFolders(folder)) {
        if (isMarked(aside))
            bytes += allocatedBytes(aside);
    }
    return bytes;
}

} // namespace folivo::Mod_Varnox
