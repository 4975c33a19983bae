#include "store/profile_file.h"

#include "store/atomic_file.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo::Profile {

namespace {

// The file is kept as raw lines so that a write changes only the one line it means to:
// lines this program does not understand (comments, other sections, bytes that are not
// UTF-8) go back into the file exactly as they came.
using Lines = QList<QByteArray>;

QString decodeLine(const QByteArray& bytes)
{
    QString line = QString::fromUtf8(bytes);
    if (line.startsWith(QChar(0xFEFF)))
        line.remove(0, 1);
    return line;
}

std::optional<QString> sectionOf(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1).trimmed();
}

std::optional<QString> keyOf(const QString& line)
{
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return line.left(equals).trimmed();
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

Lines splitLines(const QByteArray& content)
{
    Lines lines = content.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

QByteArray joinLines(const Lines& lines)
{
    QByteArray content;
    for (const QByteArray& line : lines) {
        content += line;
        content += '\n';
    }
    return content;
}

enum class ReadResult { Read, Missing, Failed };

/// Reads to the end, straight into content: sized for the file as it was, so that a whole
/// file usually comes in one call.
bool readAll(int fd, QByteArray& content, qsizetype expected)
{
    qsizetype filled = 0;
    content.resize(std::max<qsizetype>(expected + 1, 4096));
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() * 2);
        const ssize_t got =
            ::read(fd, content.data() + filled, static_cast<size_t>(content.size() - filled));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            content.clear();
            return false;
        }
        filled += got;
    }
    content.truncate(filled);
    return true;
}

/// An open regular file, closed when it goes.
class OpenFile {
public:
    explicit OpenFile(const QByteArray& path)
        : m_fd(::open(path.constData(), O_RDONLY | O_CLOEXEC))
    {
        if (m_fd < 0) {
            m_result =
                errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
            return;
        }
        if (::fstat(m_fd, &m_stat) != 0 || !S_ISREG(m_stat.st_mode))
            m_result = ReadResult::Failed;
    }
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    /// Read when the file is open and regular, so far.
    ReadResult result() const { return m_result; }
    const struct stat& status() const { return m_stat; }
    ReadResult read(QByteArray& content) const
    {
        content.clear();
        if (m_result != ReadResult::Read)
            return m_result;
        return readAll(m_fd, content, static_cast<qsizetype>(m_stat.st_size)) ? ReadResult::Read
                                                                              : ReadResult::Failed;
    }

private:
    int m_fd;
    struct stat m_stat {};
    ReadResult m_result = ReadResult::Read;
};

ReadResult readFile(const QByteArray& path, QByteArray& content)
{
    return OpenFile(path).read(content);
}

/// Where each value of a file stands: the first section of each name counts, and in it the
/// first line of each key; names are matched without regard to case.
class LookUpIndex {
public:
    explicit LookUpIndex(const Lines& lines)
    {
        QString current;
        bool collecting = false;
        for (const QByteArray& bytes : lines) {
            const QString line = decodeLine(bytes);
            if (const auto name = sectionOf(line)) {
                current = name->toCaseFolded();
                collecting = !m_sections.contains(current);
                if (collecting)
                    m_sections.insert(current, {});
                continue;
            }
            if (!collecting)
                continue;
            if (const auto name = keyOf(line)) {
                QHash<QString, QString>& keys = m_sections[current];
                const QString folded = name->toCaseFolded();
                if (!keys.contains(folded))
                    keys.insert(folded, line.mid(line.indexOf(u'=') + 1));
            }
        }
    }

    std::optional<QString> value(const QString& section, const QString& key) const
    {
        const auto keys = m_sections.constFind(section.trimmed().toCaseFolded());
        if (keys == m_sections.cend())
            return std::nullopt;
        const auto found = keys->constFind(key.trimmed().toCaseFolded());
        if (found == keys->cend())
            return std::nullopt;
        return *found;
    }

private:
    QHash<QString, QHash<QString, QString>> m_sections;
};

/// What tells one version of a file from another without reading it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit FileStamp(const struct stat& st)
        : device(st.st_dev)
        , inode(st.st_ino)
        , size(st.st_size)
        , modified(st.st_mtim)
        , changed(st.st_ctim)
    {
    }
    FileStamp() = default;

    bool operator==(const FileStamp& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               sameTime(modified, other.modified) && sameTime(changed, other.changed);
    }

private:
    static bool sameTime(const timespec& a, const timespec& b)
    {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
};

// A file's times come from a clock that ticks in steps of milliseconds: a second change within
// the tick of the first, of the same size, in place, would leave the stamp as it was. Once a
// file has not changed for this long before it was read, any later change gets a later time.
constexpr time_t kSettledSeconds = 2;

/// The settings file as this thread last read it. Each look-up still opens the file and
/// compares its stamp; every slot of a long folder list would otherwise parse it whole again.
struct ReadCache {
    QByteArray path;
    FileStamp stamp;
    bool settled = false;
    QByteArray content;
    std::optional<LookUpIndex> index;
};

thread_local ReadCache t_readCache;

/// The file's values as they are now, or nothing when the file cannot be read.
const LookUpIndex* currentIndex(const QByteArray& path)
{
    ReadCache& cache = t_readCache;
    const OpenFile file(path);
    if (file.result() != ReadResult::Read)
        return nullptr;
    const FileStamp stamp(file.status());
    const bool samePath = cache.index && cache.path == path;
    if (samePath && cache.settled && cache.stamp == stamp)
        return &*cache.index;

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    QByteArray content;
    if (file.read(content) != ReadResult::Read)
        return nullptr;
    if (!samePath || content != cache.content) {
        cache.index.reset();
        cache.index.emplace(splitLines(content));
        cache.path = path;
        cache.content = content;
    }
    cache.stamp = stamp;
    cache.settled = stamp.changed.tv_sec + kSettledSeconds < now.tv_sec;
    return &*cache.index;
}

void setValue(Lines& lines, const QString& section, const QString& key, const QString& value)
{
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size() && header < 0; ++i) {
        const auto name = sectionOf(decodeLine(lines.at(i)));
        if (name && sameName(*name, section))
            header = i;
    }
    if (header < 0) {
        lines.append('[' + section.toUtf8() + ']');
        lines.append(entry);
        return;
    }
    // A new key goes after the section's last non-blank line, so that the blank line that
    // may separate it from the next section stays where it is.
    qsizetype last = header;
    for (qsizetype i = header + 1; i < lines.size(); ++i) {
        const QString line = decodeLine(lines.at(i));
        if (sectionOf(line))
            break;
        if (const auto name = keyOf(line); name && sameName(*name, key)) {
            lines[i] = entry;
            return;
        }
        if (!line.trimmed().isEmpty())
            last = i;
    }
    lines.insert(last + 1, entry);
}

// Everything between the section's header and the next header, blank lines before that
// header kept, becomes entries.
void replaceSection(Lines& lines, const QString& section, const Entries& entries)
{
    Lines body;
    for (const auto& [key, value] : entries)
        body.append(key.toUtf8() + '=' + value.toUtf8());
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size() && header < 0; ++i) {
        const auto name = sectionOf(decodeLine(lines.at(i)));
        if (name && sameName(*name, section))
            header = i;
    }
    if (header < 0) {
        lines.append('[' + section.toUtf8() + ']');
        lines.append(body);
        return;
    }
    qsizetype end = header + 1;
    while (end < lines.size() && !sectionOf(decodeLine(lines.at(end))))
        ++end;
    qsizetype kept = end;
    while (kept > header + 1 && decodeLine(lines.at(kept - 1)).trimmed().isEmpty())
        --kept;
    lines.remove(header + 1, kept - header - 1);
    for (qsizetype i = 0; i < body.size(); ++i)
        lines.insert(header + 1 + i, body.at(i));
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(0));
}

// Names and values that would change the file's structure (a value with a line break could
// plant any key, a key with "=" or a section with "]" could not be read back) are refused
// rather than written in a form that reads back as something else.
bool writable(const QString& section, const QString& key, const QString& value)
{
    const QString trimmedKey = key.trimmed();
    return !section.trimmed().isEmpty() && !hasLineBreak(section) && !section.contains(u']') &&
           !trimmedKey.isEmpty() && !hasLineBreak(key) && !key.contains(u'=') &&
           !trimmedKey.startsWith(u'[') && !hasLineBreak(value);
}

QByteArray lockPath(const QByteArray& resolvedFile)
{
    return resolvedFile + ".lock";
}

// The lock files this thread holds, with how many holders each: a write inside an
// ExclusiveAccess of the same file must not wait for the lock its own caller holds.
thread_local std::map<QByteArray, int> t_heldLocks;

/// Holds an exclusive flock on "<file>.lock" while it lives. The lock file is opened anew
/// for each holder, so the lock also keeps apart two writers inside one process; a holder
/// nested in another of the same thread shares the outer one's lock.
class WriteLock {
public:
    enum class Wait { Yes, No };

    explicit WriteLock(const QByteArray& path, Wait wait = Wait::Yes)
        : m_path(path)
    {
        if (const auto held = t_heldLocks.find(path); held != t_heldLocks.end()) {
            ++held->second;
            m_nested = true;
            return;
        }
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_fd < 0)
            m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (m_fd < 0)
            return;
        while (::flock(m_fd, wait == Wait::Yes ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
        t_heldLocks[m_path] = 1;
    }
    ~WriteLock()
    {
        if (m_nested) {
            --t_heldLocks[m_path];
            return;
        }
        if (m_fd >= 0) {
            t_heldLocks.erase(m_path);
            ::close(m_fd);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool held() const { return m_nested || m_fd >= 0; }

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_nested = false;
};

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// A settings file that is a link is written where the link leads, so the link stays.
QByteArray resolvedPath(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char target[PATH_MAX];
    if (::realpath(path.constData(), target))
        return QByteArray(target);
    // A link to a file not made yet: the first write creates it there.
    const ssize_t length = ::readlink(path.constData(), target, sizeof target);
    if (length <= 0 || length == static_cast<ssize_t>(sizeof target))
        return path;
    const QByteArray link(target, length);
    return link.startsWith('/') ? link : folderOf(path) + '/' + link;
}

} // namespace

int getString(const QString& section, const QString& key, const QString& defaultText, QString& text,
              int bufferSize, const QString& file)
{
    text.clear();
    if (bufferSize <= 0)
        return 0;
    QString found = defaultText;
    if (!file.isEmpty()) {
        if (const LookUpIndex* index = currentIndex(QFile::encodeName(file))) {
            if (const auto value = index->value(section, key))
                found = *value;
        }
    }
    qsizetype length = std::min<qsizetype>(found.size(), bufferSize - 1);
    // Never cut a character made of a surrogate pair in half.
    if (length > 0 && length < found.size() && found.at(length - 1).isHighSurrogate())
        --length;
    text = found.left(length);
    return static_cast<int>(length);
}

namespace {

/// Reads the file under the write lock, lets `change` edit its lines, and replaces the file
/// atomically when that changed anything.
template <typename Change> int rewrite(const QString& file, Change change)
{
    const QByteArray path = resolvedPath(QFile::encodeName(file));
    // Without the lock (a read-only folder that holds no lock file) the file can still be
    // read whole, since every writer replaces it in one rename.
    const WriteLock lock(lockPath(path));

    struct stat st {};
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return 0;
    if (exists && !S_ISREG(st.st_mode))
        return 0;

    QByteArray content;
    if (exists && readFile(path, content) != ReadResult::Read)
        return 0;
    Lines lines = splitLines(content);
    change(lines);
    const QByteArray replaced = joinLines(lines);
    // The file already holds it: nothing is written, so it does not matter whether the file
    // or its folder could be, and replacing it would only wait on the disk twice.
    if (exists && replaced == content)
        return 1;
    if (!lock.held())
        return 0;
    // A read-only settings file stays as it is, although the folder would allow replacing it.
    if (exists && ::access(path.constData(), W_OK) != 0)
        return 0;
    return replaceFileAtomically(path, replaced) == 0 ? 1 : 0;
}

} // namespace

int writeString(const QString& section, const QString& key, const QString& value,
                const QString& file)
{
    if (file.isEmpty() || !writable(section, key, value))
        return 0;
    return rewrite(file, [&](Lines& lines) { setValue(lines, section, key, value); });
}

Entries sectionEntries(const QString& section, const QString& file)
{
    Entries entries;
    QByteArray content;
    if (file.isEmpty() || readFile(QFile::encodeName(file), content) != ReadResult::Read)
        return entries;
    bool inside = false;
    bool seen = false;
    QHash<QString, bool> keys;
    for (const QByteArray& bytes : splitLines(content)) {
        const QString line = decodeLine(bytes);
        if (const auto name = sectionOf(line)) {
            // Only the first section of the name counts, as for getString.
            inside = !seen && sameName(*name, section);
            seen = seen || inside;
            continue;
        }
        if (!inside)
            continue;
        if (const auto name = keyOf(line); name && !keys.contains(name->toCaseFolded())) {
            keys.insert(name->toCaseFolded(), true);
            entries.append({*name, line.mid(line.indexOf(u'=') + 1)});
        }
    }
    return entries;
}

int writeSection(const QString& section, const Entries& entries, const QString& file)
{
    if (file.isEmpty())
        return 0;
    for (const auto& [key, value] : entries) {
        if (!writable(section, key, value))
            return 0;
    }
    return rewrite(file, [&](Lines& lines) { replaceSection(lines, section, entries); });
}

void removeLeftovers(const QString& file)
{
    if (file.isEmpty())
        return;
    const QByteArray path = resolvedPath(QFile::encodeName(file));
    // Every writer holds the lock from before it makes its temporary file until that file is
    // renamed or gone: with the lock in hand, whatever temporary is there was left by a
    // writer that died.
    const WriteLock lock(lockPath(path), WriteLock::Wait::No);
    if (lock.held())
        removeLeftoverTemporaries(path);
}

struct ExclusiveAccess::Lock {
    explicit Lock(const QByteArray& path)
        : lock(path)
    {
    }
    WriteLock lock;
};

ExclusiveAccess::ExclusiveAccess(const QString& file)
{
    if (!file.isEmpty())
        m_lock = std::make_unique<Lock>(lockPath(resolvedPath(QFile::encodeName(file))));
}

ExclusiveAccess::~ExclusiveAccess() = default;

} // namespace folivo::Profile
