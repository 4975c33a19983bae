#include "platform/file_lock.h"

#include <QFile>

#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace folivo {

FileLock::FileLock(QString path)
    : m_path(std::move(path))
{
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileLock::share()
{
    return set(Claim::Shared);
}

bool FileLock::takeAlone()
{
    return set(Claim::Alone);
}

void FileLock::release()
{
    set(Claim::None);
}

FileLock::Claim FileLock::claim() const
{
    const std::lock_guard lock(m_mutex);
    return m_claim;
}

bool FileLock::set(Claim claim)
{
    const std::lock_guard lock(m_mutex);
    if (claim == m_claim)
        return true;
    if (m_fd < 0) {
        if (claim == Claim::None)
            return true;
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        // Without the file nothing can be coordinated: a folder where it cannot be made is
        // one where nothing else of the program can be written either.
        if (m_fd < 0)
            return true;
    }
    // Open file description locks: owned by this descriptor, not by the process, so that
    // threads share them and nothing else in the program can drop them by closing another
    // descriptor of the file; a change between shared and alone is made in one step.
    struct flock request {};
    const int type = claim == Claim::Alone ? F_WRLCK : claim == Claim::Shared ? F_RDLCK : F_UNLCK;
    request.l_type = static_cast<short>(type);
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = 0;
    if (::fcntl(m_fd, F_OFD_SETLK, &request) != 0)
        return false;
    m_claim = claim;
    return true;
}

} // namespace folivo
