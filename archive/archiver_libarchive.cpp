#include "archive/archiver.h"

#include "archive/archiver_plan.h"
#include "archive/archiver_testing.h"
#include "archive/archiver_zip_data.h"
#include "archive/rar_layout.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/path_separator.h"
#include "platform/work_pool.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace folivo::Archiver {
namespace {

std::atomic<bool> zipUsable{true};
std::atomic<bool> lzhUsable{true};
std::atomic<bool> otherUsable{true};
std::atomic<int> workerCountSetting{0};
std::mutex diskSpaceProbeMutex;
testing::DiskSpaceProbe diskSpaceProbe;

const QLatin1StringView kAllMembers("\" *.*");
const QLatin1StringView kBetweenPaths("\" \"");

constexpr qint64 kMaxFreeMargin = qint64(1) << 30;
constexpr int kFreeMarginPercent = 5;
constexpr std::chrono::milliseconds kProgressInterval(50);
constexpr size_t kWholeWriteBlock = size_t(1) << 20;

struct CommandLine {
    QString archive;
    QString destination;
};

// options "<archive>" "<destination>/" *.*
// The archive path comes from the user and may hold anything; the destination is the
// program's own folder. So the two are split at the last quote-blank-quote.
std::optional<CommandLine> parseCommandLine(const QString& line, Format format)
{
    const QLatin1StringView options = commandLineOptions(format);
    if (!line.startsWith(options) || !line.endsWith(kAllMembers))
        return std::nullopt;
    const QString quoted =
        line.mid(options.size(), line.size() - options.size() - kAllMembers.size());
    if (!quoted.startsWith(QLatin1Char('"')))
        return std::nullopt;
    const QString paths = quoted.mid(1);
    const qsizetype split = paths.lastIndexOf(kBetweenPaths);
    if (split <= 0)
        return std::nullopt;
    CommandLine result{paths.left(split), paths.mid(split + kBetweenPaths.size())};
    if (result.destination.size() < 2 || !result.destination.endsWith(kPathSeparator))
        return std::nullopt;
    result.destination.chop(1);
    return result;
}

struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Writer = std::unique_ptr<archive, WriterDeleter>;

Writer openWriter()
{
    Writer writer(archive_write_disk_new());
    // Member paths are checked and joined to the destination before they get here; the
    // flags are a second guard, against ".." and against writing through a link that was
    // already lying in the destination.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    return writer;
}

std::optional<testing::DiskSpace> diskSpace(const QString& folder)
{
    {
        const std::lock_guard lock(diskSpaceProbeMutex);
        if (diskSpaceProbe)
            return diskSpaceProbe(folder);
    }
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0)
        return std::nullopt;
    return testing::DiskSpace{static_cast<qint64>(disk.f_blocks) * qint64(disk.f_frsize),
                              static_cast<qint64>(disk.f_bavail) * qint64(disk.f_frsize)};
}

// A book that fills the disk would break more than the reader: a margin of the disk is kept
// free. A small disk keeps a share of itself, so that it can still take a small book.
qint64 freeMargin(qint64 diskSize)
{
    return std::min(kMaxFreeMargin, diskSize / 100 * kFreeMarginPercent);
}

/// The room left on the disk for the members that declare no size, taken as their bytes are
/// written, from any worker. Declared sizes are checked before the first byte is written
/// (members that lie are stopped while they are written).
class DiskBudget {
public:
    /// Before the workers start: without it, the room is not limited (the disk's free space
    /// is unknown).
    void limit(const DiskShortage& shortage, qint64 room)
    {
        m_limited = true;
        m_shortage = shortage;
        m_room = room;
    }

    /// False once the bytes would leave less than the margin free: every worker then stops.
    bool take(qint64 bytes)
    {
        if (!m_limited)
            return true;
        if (m_exhausted)
            return false;
        m_taken += bytes;
        if (m_room.fetch_sub(bytes) - bytes < 0)
            m_exhausted = true;
        return !m_exhausted;
    }
    bool exhausted() const { return m_exhausted; }
    /// What to tell of the disk once the room is used up.
    DiskShortage shortage() const
    {
        DiskShortage shortage = m_shortage;
        shortage.needed += m_taken;
        shortage.atLeast = true;
        return shortage;
    }

private:
    bool m_limited = false;
    DiskShortage m_shortage;
    std::atomic<qint64> m_room{0};
    std::atomic<qint64> m_taken{0};
    std::atomic<bool> m_exhausted{false};
};

enum class Room { Fits, FitsOnceReclaimed, TooSmall };

// Whether the declared sizes fit on the destination's disk, with what the preparation will
// free counted only when they do not fit without it. Sets up the budget of the members that
// declare no size, and what to tell when the disk is too small.
Room checkRoom(const QString& destination, const Plan& plan, const Preparation& preparation,
               DiskBudget& budget, DiskShortage& shortage)
{
    const QString folder =
        isFolder(destination) ? destination : QFileInfo(destination).absolutePath();
    const std::optional<testing::DiskSpace> space = diskSpace(folder);
    if (!space)
        return Room::Fits;
    const qint64 margin = freeMargin(space->size);
    Room room = Room::Fits;
    qint64 available = space->free;
    if (available - margin < plan.declaredBytes && preparation.reclaimableBytes) {
        available += std::max<qint64>(0, preparation.reclaimableBytes());
        room = Room::FitsOnceReclaimed;
    }
    shortage = DiskShortage{plan.declaredBytes + margin, margin, available, false};
    if (available - margin < plan.declaredBytes)
        return Room::TooSmall;
    budget.limit(shortage, available - margin - plan.declaredBytes);
    return room;
}

/// The destination as a canonical path, made when missing; empty when it cannot be had.
QString prepareDestination(const QString& path)
{
    // Before the first extraction the folder may not exist yet; its parent (the install
    // folder) does.
    if (!isFolder(path)) {
        try {
            makeFolder(path);
        } catch (const Error&) {
            return QString();
        }
    }
    // Links above the destination are the user's business; resolving them here keeps the
    // symlink guard to what lies inside it.
    return QFileInfo(path).canonicalFilePath();
}

QByteArray targetPath(const QString& destination, const QString& relativePath)
{
    return QFile::encodeName(destination + kPathSeparator + relativePath);
}

// Folders are made before the workers start, by one writer, so no two workers ever race
// to make the same one. What already stands is left to the workers' writers, whose guard
// refuses to write through a link.
void makeFolders(const Plan& plan, const QString& destination, archive* writer, Outcome& outcome)
{
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                        archive_entry_free);
    for (const auto& [relativePath, mtime] : plan.folders) {
        const QByteArray target = targetPath(destination, relativePath);
        struct stat existing {};
        if (::lstat(target.constData(), &existing) == 0)
            continue;
        archive_entry_clear(entry.get());
        archive_entry_copy_pathname(entry.get(), target.constData());
        archive_entry_set_filetype(entry.get(), AE_IFDIR);
        // Modes from the archive could make a folder that the next Tmp_Clear cannot empty.
        archive_entry_set_perm(entry.get(), 0777);
        if (mtime)
            archive_entry_set_mtime(entry.get(), mtime->first, mtime->second);
        if (archive_write_header(writer, entry.get()) < ARCHIVE_WARN ||
            archive_write_finish_entry(writer) < ARCHIVE_WARN)
            outcome.note(Result::WriteFailed);
    }
}

/// Counts what is done and asks the hook, from any worker, at a bounded rate.
class ProgressReporter {
public:
    ProgressReporter(const ProgressHook& hook, qint64 archiveSize)
        : m_hook(hook)
    {
        m_totals.archiveSize = archiveSize;
    }

    /// Sets the totals, before any worker starts, and has the first report after it tell
    /// them at once. The workers' readers start again from the archive's beginning, and so
    /// does the count of its bytes read.
    void planned(const Plan& plan)
    {
        const std::lock_guard lock(m_mutex);
        m_nextReport = std::numeric_limits<qint64>::min();
        m_archiveBytesRead = 0;
        m_totals.membersTotal = static_cast<qint64>(plan.files.size());
        // A sum that leaves out the sizes nobody declared would only mislead; the archive's
        // own bytes tell how far the extraction has come instead.
        const bool allDeclared =
            std::all_of(plan.files.begin(), plan.files.end(),
                        [](const FileMember& f) { return f.declaredSize >= 0; });
        m_totals.bytesTotal = allDeclared ? plan.declaredBytes : 0;
    }

    /// A reader has come this far into the archive file. Workers skip what the others write,
    /// so the furthest of them marks how far the extraction has got.
    void readTo(qint64 position)
    {
        qint64 furthest = m_archiveBytesRead.load();
        while (furthest < position &&
               !m_archiveBytesRead.compare_exchange_weak(furthest, position)) {
        }
        report();
    }

    void addBytes(qint64 bytes)
    {
        m_bytesDone += bytes;
        report();
    }
    void addMember()
    {
        ++m_membersDone;
        report();
    }
    void stop() { m_stopped = true; }
    bool stopped() const { return m_stopped; }

private:
    void report()
    {
        if (!m_hook || stopped())
            return;
        const qint64 now = std::chrono::steady_clock::now().time_since_epoch().count();
        if (now < m_nextReport || !m_mutex.try_lock())
            return;
        const std::lock_guard lock(m_mutex, std::adopt_lock);
        // Looked at again under the lock: between the first look and the lock, another worker
        // may have reported, or have been told to stop, and the hook hears nothing after a stop.
        if (stopped() || now < m_nextReport)
            return;
        m_nextReport = now + std::chrono::steady_clock::duration(kProgressInterval).count();
        Progress progress = m_totals;
        progress.membersDone = m_membersDone;
        progress.bytesDone = m_bytesDone;
        progress.archiveBytesRead = m_archiveBytesRead;
        if (m_hook(progress) == Reply::Stop)
            stop();
    }

    const ProgressHook& m_hook;
    Progress m_totals;
    std::atomic<qint64> m_membersDone{0};
    std::atomic<qint64> m_bytesDone{0};
    std::atomic<qint64> m_archiveBytesRead{0};
    std::atomic<qint64> m_nextReport{std::numeric_limits<qint64>::min()};
    std::atomic<bool> m_stopped{false};
    std::mutex m_mutex;
};

/// How writing one member's data to its file ended.
enum class MemberWrite {
    Done,
    DataWrong,
    ReadFailed,
    ReadStopped,
    TooLong,
    WriteFailed,
    WriterBroken,
    DiskFull,
    Stopped
};

MemberWrite writeFromLibarchive(archive* reader, archive* writer, qint64 declaredSize,
                                ProgressReporter& progress, DiskBudget& budget)
{
    for (;;) {
        if (progress.stopped())
            return MemberWrite::Stopped;
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(reader, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return MemberWrite::Done;
        if (r == ARCHIVE_FATAL)
            return MemberWrite::ReadStopped;
        if (r < ARCHIVE_WARN)
            return MemberWrite::ReadFailed;
        progress.readTo(archive_filter_bytes(reader, -1));
        // A member inflating far past what its header says would fill the disk that the
        // size check before the extraction meant to keep free.
        if (declaredSize >= 0 && offset + static_cast<qint64>(size) > declaredSize)
            return MemberWrite::TooLong;
        // A member that declares no size could fill the disk all the same: its bytes are
        // counted against the room as they come.
        if (declaredSize < 0 && !budget.take(static_cast<qint64>(size)))
            return MemberWrite::DiskFull;
        if (size > 0) {
            const la_ssize_t w = archive_write_data_block(writer, block, size, offset);
            if (w == ARCHIVE_FATAL)
                return MemberWrite::WriterBroken;
            if (w < ARCHIVE_OK)
                return MemberWrite::WriteFailed;
            progress.addBytes(static_cast<qint64>(size));
        }
        // A checksum or length mismatch comes with the member's last block, which is
        // written first: the member is kept whole as it was stored.
        if (r == ARCHIVE_WARN)
            return MemberWrite::DataWrong;
    }
}

/// Writes a member read whole, in large blocks with the progress told between them, as
/// libarchive's blocks are.
MemberWrite writeWhole(std::span<const char> bytes, archive* writer, ProgressReporter& progress)
{
    for (size_t done = 0; done < bytes.size();) {
        if (progress.stopped())
            return MemberWrite::Stopped;
        const size_t size = std::min(bytes.size() - done, kWholeWriteBlock);
        const la_ssize_t w = archive_write_data_block(writer, bytes.data() + done, size,
                                                      static_cast<la_int64_t>(done));
        if (w == ARCHIVE_FATAL)
            return MemberWrite::WriterBroken;
        if (w < ARCHIVE_OK)
            return MemberWrite::WriteFailed;
        done += size;
        progress.addBytes(static_cast<qint64>(size));
    }
    // A stop asked for while the member was written leaves nothing of it, whole or not.
    return progress.stopped() ? MemberWrite::Stopped : MemberWrite::Done;
}

/// The result a member's write adds, or nullopt when the member is whole and stays.
std::optional<int> failureOf(MemberWrite write)
{
    switch (write) {
    case MemberWrite::Done:
        return std::nullopt;
    case MemberWrite::DataWrong:
    case MemberWrite::ReadFailed:
    case MemberWrite::ReadStopped:
    case MemberWrite::TooLong:
        return Result::ArchiveDamaged;
    case MemberWrite::WriteFailed:
    case MemberWrite::WriterBroken:
    case MemberWrite::DiskFull:
        return Result::WriteFailed;
    case MemberWrite::Stopped:
        return Result::Stopped;
    }
    return Result::ArchiveDamaged;
}

/// What the workers share: the plan, the next member to take, and what went wrong.
struct Extraction {
    const Plan& plan;
    const QString& archivePath;
    const QString& destination;
    Format format;
    Outcome& outcome;
    ProgressReporter& progress;
    DiskBudget& budget;
    const ZipDataIndex& zipData;
    const MemberWatch& watch;
    /// The members are compressed as one stream: one reader unpacks them all.
    bool oneStream = false;
    /// The file written on its own before the workers start, skipped by them.
    std::optional<size_t> firstFile;
    std::atomic<size_t> nextFile{0};
};

/// Writes a stored member block by block as ZipDataReader reads it, each block checked into
/// the CRC and written while it is in the cache. A mismatch is found once every byte is
/// written, and ends as libarchive ends it: the member kept whole as it was stored.
/// nullopt when the data could not be read; libarchive then writes the member over again.
std::optional<MemberWrite> writeStored(ZipDataReader& direct, qint64 dataOffset,
                                       const ZipData& data, archive* writer,
                                       ProgressReporter& progress)
{
    MemberWrite refused = MemberWrite::Done;
    const auto write = [&](std::span<const char> bytes, qint64 offset) {
        if (progress.stopped()) {
            refused = MemberWrite::Stopped;
            return false;
        }
        const la_ssize_t w = archive_write_data_block(writer, bytes.data(), bytes.size(), offset);
        if (w < ARCHIVE_OK) {
            refused = w == ARCHIVE_FATAL ? MemberWrite::WriterBroken : MemberWrite::WriteFailed;
            return false;
        }
        progress.addBytes(static_cast<qint64>(bytes.size()));
        return true;
    };
    switch (direct.stream(dataOffset, data, write)) {
    case ZipDataReader::Streamed::Matched:
        // A stop asked for while the member was written leaves nothing of it, whole or not.
        return progress.stopped() ? MemberWrite::Stopped : MemberWrite::Done;
    case ZipDataReader::Streamed::Mismatched:
        return MemberWrite::DataWrong;
    case ZipDataReader::Streamed::Refused:
        return refused;
    case ZipDataReader::Streamed::Unreadable:
        break;
    }
    return std::nullopt;
}

/// Writes the member from the data ZipDataReader reads straight from the file, or nullopt
/// when libarchive is to read it. The member is the one libarchive has just read the header
/// of: the index is asked for what starts where libarchive now stands.
std::optional<MemberWrite> writeDirect(const Extraction& job, archive* reader,
                                       ZipDataReader* direct, archive* writer,
                                       const FileMember& member)
{
    if (!direct)
        return std::nullopt;
    const qint64 dataOffset = archive_filter_bytes(reader, 0);
    const ZipData* data = job.zipData.find(dataOffset);
    if (!data || data->size != member.declaredSize)
        return std::nullopt;
    if (!data->deflated)
        return writeStored(*direct, dataOffset, *data, writer, job.progress);
    // Read whole, a deflated member has been checked before its first byte is written; one
    // that fails the check is read again by libarchive, which tells what is wrong with it.
    const std::optional<std::span<const char>> whole = direct->read(dataOffset, *data);
    if (!whole)
        return std::nullopt;
    return writeWhole(*whole, writer, job.progress);
}

/// Writes one file member; returns false when this reader can go no further.
bool extractFile(Extraction& job, archive* reader, ZipDataReader* direct, Writer& writer,
                 archive_entry* entry, const FileMember& member)
{
    // The archive was read once already; a member that changed since is not trusted.
    if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) ||
        archive_entry_is_encrypted(entry)) {
        job.outcome.note(Result::MembersLeftOut);
        return true;
    }
    const QByteArray target = targetPath(job.destination, member.relativePath);
    archive_entry_copy_pathname(entry, target.constData());
    archive_entry_set_perm(entry, 0666);
    const int h = archive_write_header(writer.get(), entry);
    if (h < ARCHIVE_WARN) {
        job.outcome.note(Result::WriteFailed);
        if (h == ARCHIVE_FATAL)
            writer = openWriter();
        return true;
    }
    const std::optional<MemberWrite> writtenDirectly =
        writeDirect(job, reader, direct, writer.get(), member);
    const MemberWrite write = writtenDirectly
                                  ? *writtenDirectly
                                  : writeFromLibarchive(reader, writer.get(), member.declaredSize,
                                                        job.progress, job.budget);
    const int f = archive_write_finish_entry(writer.get());
    std::optional<int> failure = failureOf(write);
    if (!failure && f < ARCHIVE_WARN)
        failure = Result::WriteFailed;
    if (failure) {
        job.outcome.note(*failure);
        // A cut-off page would be shown as a broken picture; what stays is whole. Only a
        // checksum mismatch leaves the member: its bytes are all there.
        if (write != MemberWrite::Done && write != MemberWrite::DataWrong)
            ::unlink(target.constData());
    }
    if (write == MemberWrite::WriterBroken || f == ARCHIVE_FATAL)
        writer = openWriter();
    if (!failure && job.watch.written)
        job.watch.written(member.relativePath);
    job.progress.addMember();
    return write != MemberWrite::ReadStopped && write != MemberWrite::Stopped &&
           write != MemberWrite::DiskFull;
}

// Each worker reads the archive on its own and takes the next member nobody has taken yet:
// members are claimed in archive order, so every reader only moves forward, skipping (by
// seeking) the members that other workers write. With `only`, the worker writes that one
// member and ends.
void runWorker(Extraction& job, std::optional<size_t> only = std::nullopt)
{
    const Utf8CtypeScope utf8;
    Reader reader = openReader(job.archivePath, job.format);
    if (!reader) {
        job.outcome.note(Result::ArchiveDamaged);
        return;
    }
    Writer writer = openWriter();
    std::optional<ZipDataReader> direct;
    if (!job.zipData.isEmpty())
        direct.emplace(job.archivePath);
    HeaderWalk walk(reader.get());
    for (bool done = false; !done;) {
        const size_t claimed = only ? *only : job.nextFile++;
        done = only.has_value();
        if (claimed >= job.plan.files.size() || job.progress.stopped() || job.budget.exhausted())
            return;
        if (!only && claimed == job.firstFile)
            continue;
        const FileMember& member = job.plan.files[claimed];
        archive_entry* entry = nullptr;
        if (!walk.seek(member.index, &entry)) {
            job.outcome.note(Result::ArchiveDamaged);
            return;
        }
        if (!extractFile(job, reader.get(), direct ? &*direct : nullptr, writer, entry, member))
            return;
    }
}

int workerCount(size_t files)
{
    int count = workerCountSetting.load();
    if (count <= 0)
        count = QThread::idealThreadCount();
    return static_cast<int>(std::clamp<size_t>(files, 1, std::max(count, 1)));
}

void runWorkers(Extraction& job)
{
    if (job.plan.files.empty())
        return;
    const int count = job.oneStream ? 1 : workerCount(job.plan.files.size());
    if (job.firstFile) {
        // The reader waits for that one page. The rest comes while the page is read, by one
        // worker fewer (a core is the page's), yielding the processors to the reading
        // whenever it wants them: its buffers add to the pages' own meanwhile.
        runWorker(job, job.firstFile);
        const int rest = std::max(1, count - 1);
        WorkPool background(rest, WorkPool::Priority::Background);
        for (int k = 0; k < rest; ++k)
            background.start([&job] { runWorker(job); });
        background.waitForDone();
        return;
    }
    // The calling thread is one of the workers; the others end before the job goes.
    WorkPool others(count - 1, WorkPool::Priority::Normal);
    for (int k = 1; k < count; ++k)
        others.start([&job] { runWorker(job); });
    runWorker(job);
}

// Whether the members can be split among workers, each with its own reader that skips what
// the others write. In a solid RAR, a 7z's solid block or a compressed tar, a member's data
// follows from everything before it: skipping means decompressing, so every worker would
// decompress the archive up to its members again. Those are unpacked by one reader from start
// to end. libarchive does not tell whether a 7z's blocks hold one member or many, and 7z
// compresses solid unless told otherwise, so every 7z is taken as solid.
bool splittable(archive* reader, Format format, const std::optional<RarLayout>& rar)
{
    if (format != Format::Other)
        return true;
    if (archive_filter_count(reader) > 1)
        return false;
    switch (archive_format(reader) & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_TAR:
        return true;
    case ARCHIVE_FORMAT_RAR:
    case ARCHIVE_FORMAT_RAR_V5:
        return rar && !rar->solid;
    default:
        return false;
    }
}

int extract(const QString& commandLine, Format format, const Hooks& hooks)
{
    const auto ended = qScopeGuard([&hooks] {
        if (hooks.watch.ended)
            hooks.watch.ended();
    });
    const std::optional<CommandLine> parsed = parseCommandLine(commandLine, format);
    if (!parsed)
        return Result::BadCommandLine;

    const Preparation& preparation = hooks.preparation;
    const Utf8CtypeScope utf8;
    Outcome outcome;
    Plan plan;
    ZipDirectory zipDirectory;
    ProgressReporter progress(hooks.progress, QFileInfo(parsed->archive).size());
    const std::optional<RarLayout> rar =
        format == Format::Other ? RarLayout::read(parsed->archive) : std::nullopt;
    if (rar && rar->headersEncrypted) {
        // Not even the members' names can be read: nothing of it can be unpacked.
        if (preparation.prepare)
            preparation.prepare(false);
        if (preparation.encrypted)
            preparation.encrypted();
        return Result::MembersLeftOut;
    }
    bool oneStream = false;
    {
        Reader reader = openReader(parsed->archive, format);
        if (!reader) {
            // Only the disk check spares the destination's old content: a failed extraction
            // replaces it all the same.
            if (preparation.prepare)
                preparation.prepare(false);
            return Result::CannotOpenArchive;
        }
        if (format == Format::Zip)
            zipDirectory = ZipDirectory::read(parsed->archive);
        const QSet<int> noMembers;
        plan = readPlan(reader.get(), format,
                        {zipDirectory, rar ? rar->encryptedMembers : noMembers}, outcome, [&] {
                            progress.readTo(archive_filter_bytes(reader.get(), -1));
                            return !progress.stopped();
                        });
        oneStream = !splittable(reader.get(), format, rar);
    }
    if (outcome.encrypted() && preparation.encrypted)
        preparation.encrypted();
    if (progress.stopped()) {
        // Ends as a stop a moment later would: the destination's old content goes all the same.
        if (preparation.prepare)
            preparation.prepare(false);
        return Result::Stopped;
    }
    progress.planned(plan);
    DiskBudget budget;
    DiskShortage shortage;
    const Room room = checkRoom(parsed->destination, plan, preparation, budget, shortage);
    if (room == Room::TooSmall) {
        if (preparation.diskShort)
            preparation.diskShort(shortage);
        return Result::WriteFailed;
    }
    if (preparation.prepare && !preparation.prepare(room == Room::FitsOnceReclaimed))
        return Result::NoDestination;
    const QString destination = prepareDestination(parsed->destination);
    if (destination.isEmpty())
        return Result::NoDestination;

    // The folders' writer is closed last, so the folders' times are set after their files
    // are in.
    Writer folderWriter = openWriter();
    makeFolders(plan, destination, folderWriter.get(), outcome);
    const ZipDataIndex zipData = ZipDataIndex::read(parsed->archive, zipDirectory);
    const MemberWatch& watch = hooks.watch;
    std::optional<size_t> firstFile;
    if ((watch.planned || watch.first) && !plan.files.empty()) {
        QStringList paths;
        paths.reserve(static_cast<qsizetype>(plan.files.size()));
        for (const FileMember& member : plan.files)
            paths << member.relativePath;
        if (watch.planned)
            watch.planned(paths);
        const qsizetype first = watch.first && !oneStream ? watch.first(paths) : -1;
        if (first >= 0 && first < paths.size())
            firstFile = static_cast<size_t>(first);
    }
    Extraction job{plan,   parsed->archive, destination, format,    outcome,  progress,
                   budget, zipData,         watch,       oneStream, firstFile};
    runWorkers(job);
    if (budget.exhausted() && preparation.diskShort)
        preparation.diskShort(budget.shortage());
    return progress.stopped() ? Result::Stopped : outcome.code();
}

} // namespace

int UnZipGetVersion()
{
    return zipUsable ? archive_version_number() : 0;
}

// Nothing is written back: callers pass an empty buffer of size 0.
int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize,
          const Hooks& hooks)
{
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, Format::Zip, hooks);
}

int UnlhaGetVersion()
{
    return lzhUsable ? archive_version_number() : 0;
}

int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize,
          const Hooks& hooks)
{
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, Format::Lzh, hooks);
}

int UnarchiveGetVersion()
{
    return otherUsable ? archive_version_number() : 0;
}

int Unarchive(quintptr owner, const QString& commandLine, QString& output, int outputSize,
              const Hooks& hooks)
{
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, Format::Other, hooks);
}

void setLibraryUsable(Format library, bool usable)
{
    switch (library) {
    case Format::Zip:
        zipUsable = usable;
        break;
    case Format::Lzh:
        lzhUsable = usable;
        break;
    case Format::Other:
        otherUsable = usable;
        break;
    }
}

namespace testing {

void setWorkerCount(int count)
{
    workerCountSetting = count;
}

void setDiskSpaceProbe(DiskSpaceProbe probe)
{
    const std::lock_guard lock(diskSpaceProbeMutex);
    diskSpaceProbe = std::move(probe);
}

} // namespace testing
} // namespace folivo::Archiver
