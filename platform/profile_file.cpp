#include "platform/profile_file.h"

#include "platform/atomic_file.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

ReadResult readFile(const QByteArray& path, QByteArray& content)
{
    content.clear();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return ReadResult::Failed;
        }
        content.append(buffer, got);
    }
    ::close(fd);
    return ReadResult::Read;
}

std::optional<QString> lookUp(const Lines& lines, const QString& section, const QString& key)
{
    bool inSection = false;
    for (const QByteArray& bytes : lines) {
        const QString line = decodeLine(bytes);
        if (const auto name = sectionOf(line)) {
            // The first section of a name is the one that counts, as for keys below.
            if (inSection)
                return std::nullopt;
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto name = keyOf(line); name && sameName(*name, key))
            return line.mid(line.indexOf(u'=') + 1);
    }
    return std::nullopt;
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
    explicit WriteLock(const QByteArray& path)
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
        while (::flock(m_fd, LOCK_EX) != 0) {
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
    QByteArray content;
    if (!file.isEmpty() && readFile(QFile::encodeName(file), content) == ReadResult::Read) {
        if (const auto value = lookUp(splitLines(content), section, key))
            found = *value;
    }
    qsizetype length = std::min<qsizetype>(found.size(), bufferSize - 1);
    // Never cut a character made of a surrogate pair in half.
    if (length > 0 && length < found.size() && found.at(length - 1).isHighSurrogate())
        --length;
    text = found.left(length);
    return static_cast<int>(length);
}

int writeString(const QString& section, const QString& key, const QString& value,
                const QString& file)
{
    if (file.isEmpty() || !writable(section, key, value))
        return 0;
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
    setValue(lines, section, key, value);
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
