#include "platform/archiver.h"

#include "platform/archive_member_names.h"
#include "platform/archiver_testing.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/path_separator.h"

#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <locale.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace folivo::Archiver {
namespace {

std::atomic<bool> zipUsable{true};
std::atomic<bool> lzhUsable{true};
std::atomic<int> workerCountSetting{0};
std::mutex diskSpaceProbeMutex;
testing::DiskSpaceProbe diskSpaceProbe;

enum class Format { Zip, Lzh };

const QLatin1StringView kZipOptions("-x -o -q ");
const QLatin1StringView kLzhOptions("x -d1 -y1 ");
const QLatin1StringView kAllMembers("\" *.*");
const QLatin1StringView kBetweenPaths("\" \"");

constexpr int kMaxHeaderRetries = 8;
constexpr qint64 kMinFreeMargin = qint64(1) << 30;
constexpr int kFreeMarginPercent = 5;
constexpr std::chrono::milliseconds kProgressInterval(50);

struct CommandLine {
    QString archive;
    QString destination;
};

// options "<archive>" "<destination>/" *.*
// The archive path comes from the user and may hold anything; the destination is the
// program's own folder. So the two are split at the last quote-blank-quote.
std::optional<CommandLine> parseCommandLine(const QString& line, QLatin1StringView options)
{
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

/// libarchive hands names over in the locale's code set; "C" (a bare CI environment) would
/// turn every non-ASCII UTF-8 name into a failed conversion. This thread reads archives
/// under C.UTF-8 while the scope lives, without touching the program's own locale.
class Utf8CtypeScope {
public:
    Utf8CtypeScope()
        : m_locale(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr)))
    {
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~Utf8CtypeScope()
    {
        if (m_locale) {
            ::uselocale(m_previous);
            ::freelocale(m_locale);
        }
    }
    Utf8CtypeScope(const Utf8CtypeScope&) = delete;
    Utf8CtypeScope& operator=(const Utf8CtypeScope&) = delete;

private:
    locale_t m_locale;
    locale_t m_previous = LC_GLOBAL_LOCALE;
};

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;
using Writer = std::unique_ptr<archive, WriterDeleter>;

// Names are decoded here, where the whole archive can be looked at first, so libarchive is
// asked to hand them over as stored. ZIP names come as stored when no conversion is set
// (UTF-8-flagged ones as UTF-8). The LHa reader gives up on bytes that are not valid in the
// locale, so it reads them as ISO-8859-1, which maps every byte to one character and back.
Reader openReader(const QString& path, Format format)
{
    Reader reader(archive_read_new());
    if (!reader)
        return nullptr;
    if (format == Format::Zip) {
        archive_read_support_format_zip(reader.get());
    } else {
        archive_read_support_format_lha(reader.get());
        archive_read_set_format_option(reader.get(), "lha", "hdrcharset", "ISO-8859-1");
    }
    if (archive_read_open_filename(reader.get(), QFile::encodeName(path).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return nullptr;
    return reader;
}

std::optional<QByteArray> storedName(archive_entry* entry, Format format)
{
    const char* name = archive_entry_pathname(entry);
    if (!name)
        return std::nullopt;
    if (format == Format::Lzh)
        return QString::fromUtf8(name).toLatin1();
    return QByteArray(name);
}

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

/// Collects what went wrong, from every worker; the code returned is the worst.
class Outcome {
public:
    void note(int result)
    {
        int current = m_code.load();
        while (current < result && !m_code.compare_exchange_weak(current, result)) {
        }
    }
    int code() const { return m_code.load(); }

private:
    std::atomic<int> m_code{Result::Success};
};

/// Steps a reader from header to header. A header that libarchive gives up on still takes
/// its place in the count, so every reader of the same archive numbers members alike.
class HeaderWalk {
public:
    explicit HeaderWalk(archive* reader)
        : m_reader(reader)
    {
    }

    enum class Step { Member, Unreadable, End, Damaged };

    Step next(archive_entry** entry)
    {
        for (int retries = 0;;) {
            const int r = archive_read_next_header(m_reader, entry);
            if (r == ARCHIVE_EOF)
                return Step::End;
            if (r == ARCHIVE_RETRY) {
                if (++retries > kMaxHeaderRetries)
                    return Step::Damaged;
                continue;
            }
            if (r == ARCHIVE_FATAL)
                return Step::Damaged;
            ++m_position;
            // A warning is about this member only.
            return r == ARCHIVE_FAILED ? Step::Unreadable : Step::Member;
        }
    }

    /// Moves on to the member at index; false when it cannot be read.
    bool seek(int index, archive_entry** entry)
    {
        while (m_position <= index) {
            const Step step = next(entry);
            if (step == Step::End || step == Step::Damaged)
                return false;
            if (m_position == index + 1)
                return step == Step::Member;
        }
        return false;
    }

    /// The index of the header read last.
    int position() const { return m_position - 1; }

private:
    archive* m_reader;
    int m_position = 0;
};

/// One header as the first reading found it.
struct Header {
    int index = 0;
    std::optional<QByteArray> rawName;
    mode_t type = 0;
    bool linkOrEncrypted = false;
    qint64 declaredSize = -1;
    std::optional<std::pair<time_t, long>> mtime;
};

std::vector<Header> readHeaders(archive* reader, Format format, Outcome& outcome)
{
    std::vector<Header> headers;
    HeaderWalk walk(reader);
    archive_entry* entry = nullptr;
    for (;;) {
        const HeaderWalk::Step step = walk.next(&entry);
        if (step == HeaderWalk::Step::End)
            break;
        if (step != HeaderWalk::Step::Member) {
            outcome.note(Result::ArchiveDamaged);
            if (step == HeaderWalk::Step::Damaged)
                break;
            continue;
        }
        Header header;
        header.index = walk.position();
        header.rawName = storedName(entry, format);
        header.type = archive_entry_filetype(entry);
        header.linkOrEncrypted =
            archive_entry_hardlink(entry) != nullptr || archive_entry_is_encrypted(entry);
        if (archive_entry_size_is_set(entry))
            header.declaredSize = std::max<qint64>(0, archive_entry_size(entry));
        if (archive_entry_mtime_is_set(entry))
            header.mtime = {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
        headers.push_back(std::move(header));
    }
    return headers;
}

/// Decides how the archive's names are decoded, from their raw bytes.
class NameDecoder {
public:
    NameDecoder(const std::vector<Header>& headers, const QString& archivePath, Format format)
    {
        QList<QByteArray> rawNames;
        for (const Header& header : headers)
            if (header.rawName)
                rawNames.append(*header.rawName);
        m_encoding = chooseNameEncoding(rawNames);
        // UTF-8-flagged names may sit beside CP932 ones in an archive from Windows.
        if (format == Format::Zip && m_encoding == NameEncoding::Cp932)
            m_flaggedUtf8 = zipUtf8FlaggedNames(archivePath);
    }

    QString decode(const QByteArray& raw) const
    {
        if (m_encoding == NameEncoding::Cp932 && !m_flaggedUtf8.isEmpty() && isValidUtf8(raw)) {
            const QString asUtf8 = decodeMemberName(raw, NameEncoding::Utf8);
            if (m_flaggedUtf8.contains(asUtf8))
                return asUtf8;
        }
        return decodeMemberName(raw, m_encoding);
    }

private:
    NameEncoding m_encoding = NameEncoding::Utf8;
    QSet<QString> m_flaggedUtf8;
};

/// A file to write, where the archive holds it and where it goes.
struct FileMember {
    int index = 0;
    QString relativePath;
    qint64 declaredSize = -1;
};

/// What is to be made: folders first, then files by the workers.
struct Plan {
    std::map<QString, std::optional<std::pair<time_t, long>>> folders; // parents sort first
    std::vector<FileMember> files;
    qint64 declaredBytes = 0;
};

void addFolderWithParents(Plan& plan, const QStringList& parts, qsizetype count)
{
    for (qsizetype n = 1; n <= count; ++n)
        plan.folders.try_emplace(parts.first(n).join(kPathSeparator));
}

Plan makePlan(const std::vector<Header>& headers, const NameDecoder& names, Outcome& outcome)
{
    Plan plan;
    for (const Header& header : headers) {
        const std::optional<QStringList> parts =
            header.rawName ? memberPathParts(names.decode(*header.rawName)) : std::nullopt;
        if (!parts) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }
        // Resource forks that the macOS archiver adds beside every file are not pages.
        if (parts->isEmpty() || parts->first() == QLatin1String("__MACOSX"))
            continue;
        if ((header.type != AE_IFREG && header.type != AE_IFDIR) || header.linkOrEncrypted) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }
        if (header.type == AE_IFDIR) {
            addFolderWithParents(plan, *parts, parts->size());
            plan.folders[parts->join(kPathSeparator)] = header.mtime;
            continue;
        }
        addFolderWithParents(plan, *parts, parts->size() - 1);
        plan.files.push_back({header.index, parts->join(kPathSeparator), header.declaredSize});
        const qint64 room = std::numeric_limits<qint64>::max() - plan.declaredBytes;
        plan.declaredBytes += std::min(room, std::max<qint64>(0, header.declaredSize));
    }
    return plan;
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

// A book that fills the disk would break more than the reader; declared sizes are checked
// before the first byte is written (members that lie are stopped while they are written).
bool leavesRoomOnDisk(const QString& destination, qint64 declaredBytes)
{
    const QString folder =
        isFolder(destination) ? destination : QFileInfo(destination).absolutePath();
    const std::optional<testing::DiskSpace> space = diskSpace(folder);
    if (!space)
        return true;
    const qint64 margin = std::max(kMinFreeMargin, space->size / 100 * kFreeMarginPercent);
    return space->free - margin >= declaredBytes;
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
    ProgressReporter(const ProgressHook& hook, const Plan& plan)
        : m_hook(hook)
    {
        m_totals.membersTotal = static_cast<qint64>(plan.files.size());
        m_totals.bytesTotal = plan.declaredBytes;
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
        m_nextReport = now + std::chrono::steady_clock::duration(kProgressInterval).count();
        Progress progress = m_totals;
        progress.membersDone = m_membersDone;
        progress.bytesDone = m_bytesDone;
        if (m_hook(progress) == Reply::Stop)
            stop();
    }

    const ProgressHook& m_hook;
    Progress m_totals;
    std::atomic<qint64> m_membersDone{0};
    std::atomic<qint64> m_bytesDone{0};
    std::atomic<qint64> m_nextReport{std::numeric_limits<qint64>::min()};
    std::atomic<bool> m_stopped{false};
    std::mutex m_mutex;
};

enum class Copy {
    Done,
    DataWrong,
    ReadFailed,
    ReadStopped,
    TooLong,
    WriteFailed,
    WriterBroken,
    Stopped
};

Copy copyData(archive* reader, archive* writer, qint64 declaredSize, ProgressReporter& progress)
{
    for (;;) {
        if (progress.stopped())
            return Copy::Stopped;
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(reader, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return Copy::Done;
        if (r == ARCHIVE_WARN)
            return Copy::DataWrong; // a checksum mismatch at the member's end
        if (r == ARCHIVE_FATAL)
            return Copy::ReadStopped;
        if (r < ARCHIVE_OK)
            return Copy::ReadFailed;
        // A member inflating far past what its header says would fill the disk that the
        // size check before the extraction meant to keep free.
        if (declaredSize >= 0 && offset + static_cast<qint64>(size) > declaredSize)
            return Copy::TooLong;
        const la_ssize_t w = archive_write_data_block(writer, block, size, offset);
        if (w == ARCHIVE_FATAL)
            return Copy::WriterBroken;
        if (w < ARCHIVE_OK)
            return Copy::WriteFailed;
        progress.addBytes(static_cast<qint64>(size));
    }
}

/// The result a copy adds, or nullopt when the member is whole and stays.
std::optional<int> copyFailure(Copy copy)
{
    switch (copy) {
    case Copy::Done:
        return std::nullopt;
    case Copy::DataWrong:
    case Copy::ReadFailed:
    case Copy::ReadStopped:
    case Copy::TooLong:
        return Result::ArchiveDamaged;
    case Copy::WriteFailed:
    case Copy::WriterBroken:
        return Result::WriteFailed;
    case Copy::Stopped:
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
    std::atomic<size_t> nextFile{0};
};

/// Writes one file member; returns false when this reader can go no further.
bool extractFile(Extraction& job, archive* reader, Writer& writer, archive_entry* entry,
                 const FileMember& member)
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
    const Copy copy = copyData(reader, writer.get(), member.declaredSize, job.progress);
    const int f = archive_write_finish_entry(writer.get());
    std::optional<int> failure = copyFailure(copy);
    if (!failure && f < ARCHIVE_WARN)
        failure = Result::WriteFailed;
    if (failure) {
        job.outcome.note(*failure);
        // A cut-off page would be shown as a broken picture; what stays is whole. Only a
        // checksum mismatch leaves the member: its bytes are all there.
        if (copy != Copy::Done && copy != Copy::DataWrong)
            ::unlink(target.constData());
    }
    if (copy == Copy::WriterBroken || f == ARCHIVE_FATAL)
        writer = openWriter();
    job.progress.addMember();
    return copy != Copy::ReadStopped && copy != Copy::Stopped;
}

// Each worker reads the archive on its own and takes the next member nobody has taken yet:
// members are claimed in archive order, so every reader only moves forward, skipping (by
// seeking) the members that other workers write.
void runWorker(Extraction& job)
{
    const Utf8CtypeScope utf8;
    Reader reader = openReader(job.archivePath, job.format);
    if (!reader) {
        job.outcome.note(Result::ArchiveDamaged);
        return;
    }
    Writer writer = openWriter();
    HeaderWalk walk(reader.get());
    for (;;) {
        const size_t claimed = job.nextFile++;
        if (claimed >= job.plan.files.size() || job.progress.stopped())
            return;
        const FileMember& member = job.plan.files[claimed];
        archive_entry* entry = nullptr;
        if (!walk.seek(member.index, &entry)) {
            job.outcome.note(Result::ArchiveDamaged);
            return;
        }
        if (!extractFile(job, reader.get(), writer, entry, member))
            return;
    }
}

int workerCount(size_t files)
{
    int count = workerCountSetting.load();
    if (count <= 0)
        count = static_cast<int>(std::thread::hardware_concurrency());
    return static_cast<int>(std::clamp<size_t>(files, 1, std::max(count, 1)));
}

void runWorkers(Extraction& job)
{
    if (job.plan.files.empty())
        return;
    const int count = workerCount(job.plan.files.size());
    std::vector<std::thread> threads;
    for (int k = 1; k < count; ++k)
        threads.emplace_back(runWorker, std::ref(job));
    runWorker(job);
    for (std::thread& thread : threads)
        thread.join();
}

int extract(const QString& commandLine, QLatin1StringView options, Format format,
            const ProgressHook& hook)
{
    const std::optional<CommandLine> parsed = parseCommandLine(commandLine, options);
    if (!parsed)
        return Result::BadCommandLine;

    const Utf8CtypeScope utf8;
    Outcome outcome;
    Plan plan;
    {
        Reader reader = openReader(parsed->archive, format);
        if (!reader)
            return Result::CannotOpenArchive;
        const std::vector<Header> headers = readHeaders(reader.get(), format, outcome);
        plan = makePlan(headers, NameDecoder(headers, parsed->archive, format), outcome);
    }
    if (!leavesRoomOnDisk(parsed->destination, plan.declaredBytes))
        return Result::WriteFailed;
    const QString destination = prepareDestination(parsed->destination);
    if (destination.isEmpty())
        return Result::NoDestination;

    // The folders' writer is closed last, so the folders' times are set after their files
    // are in.
    Writer folderWriter = openWriter();
    makeFolders(plan, destination, folderWriter.get(), outcome);
    ProgressReporter progress(hook, plan);
    Extraction job{plan, parsed->archive, destination, format, outcome, progress};
    runWorkers(job);
    return progress.stopped() ? Result::Stopped : outcome.code();
}

} // namespace

int UnZipGetVersion()
{
    return zipUsable ? archive_version_number() : 0;
}

int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize)
{
    return UnZip(owner, commandLine, output, outputSize, ProgressHook());
}

int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize,
          const ProgressHook& progress)
{
    // Nothing is written back: callers pass an empty buffer of size 0.
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, kZipOptions, Format::Zip, progress);
}

int UnlhaGetVersion()
{
    return lzhUsable ? archive_version_number() : 0;
}

int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize)
{
    return Unlha(owner, commandLine, output, outputSize, ProgressHook());
}

int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize,
          const ProgressHook& progress)
{
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, kLzhOptions, Format::Lzh, progress);
}

void setLibraryUsable(Library library, bool usable)
{
    (library == Library::Zip ? zipUsable : lzhUsable) = usable;
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
