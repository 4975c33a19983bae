#include "store/atomic_file.h"

#include "store/atomic_file_testing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo {
namespace {

// mkostemp turns the six X into letters and digits.
constexpr char kTemporarySuffix[] = ".XXXXXX";
constexpr qsizetype kTemporaryLetters = 6;

bool isTemporaryOf(const QByteArray& fileName, const QByteArray& candidate)
{
    if (candidate.size() != fileName.size() + 1 + kTemporaryLetters ||
        !candidate.startsWith(fileName) || candidate.at(fileName.size()) != '.')
        return false;
    const QByteArray letters = candidate.right(kTemporaryLetters);
    return std::all_of(letters.cbegin(), letters.cend(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

mode_t currentUmask()
{
    // /proc tells the mask without changing it; setting and restoring it would give the
    // files other threads create meanwhile the wrong mode.
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

/// The mode the new file must have: the old file's, or that of any newly created file.
mode_t targetMode(const QByteArray& path)
{
    struct stat st {};
    if (::stat(path.constData(), &st) == 0)
        return st.st_mode & 07777;
    return 0666 & ~currentUmask();
}

/// Writes all of bytes, through interrupted and short writes; false with errno set.
bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

int stopAt(const AtomicFileStop& stop, AtomicFileStep step)
{
    return stop ? stop(step) : 0;
}

} // namespace

int replaceFileAtomically(const QByteArray& path, const QByteArray& content)
{
    return replaceFileAtomically(path, content, AtomicFileStop());
}

int replaceFileAtomically(const QByteArray& path, const QByteArray& content,
                          const AtomicFileStop& stop)
{
    const mode_t mode = targetMode(path);
    // A unique name in the same folder: the rename must not cross file systems, and a file
    // left by a crash or by another writer is never taken for this one's.
    QByteArray temporary = path + kTemporarySuffix;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;

    int error = 0;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, content))
        error = errno;
    else
        error = stopAt(stop, AtomicFileStep::Written);
    if (error == 0)
        error = ::fsync(fd) == 0 ? stopAt(stop, AtomicFileStep::Synced) : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = stopAt(stop, AtomicFileStep::Closed);
    if (error == 0 && ::rename(temporary.constData(), path.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return error;
    }
    if (const int stopped = stopAt(stop, AtomicFileStep::Renamed))
        return stopped;

    // The rename itself lasts only once the folder's entry is on disk. A failure here is not
    // reported: path holds a whole file either way.
    const int folder = ::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return 0;
}

void removeLeftoverTemporaries(const QByteArray& path)
{
    const QByteArray folder = folderOf(path);
    const QByteArray fileName = path.mid(path.lastIndexOf('/') + 1);
    DIR* entries = ::opendir(folder.constData());
    if (!entries)
        return;
    const int folderFd = ::dirfd(entries);
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        struct stat st {};
        if (isTemporaryOf(fileName, name) &&
            ::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(entries);
}

} // namespace folivo
