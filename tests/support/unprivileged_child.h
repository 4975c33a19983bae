#pragma once

#include <functional>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace folivo::test {

/// Runs body in a forked child and returns its result (0..255), or -1 when the child did not
/// exit normally. When the tests run as root the child first becomes "nobody", so that file
/// and folder permissions apply to it as they would to an ordinary user; folders the child
/// must reach need to be open to others (mode 0755).
inline int runUnprivileged(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int result = 255;
        const bool dropped = ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 &&
                                                  ::setgid(65534) == 0 && ::setuid(65534) == 0);
        if (dropped) {
            try {
                result = body();
            } catch (...) {
                result = 254;
            }
        }
        ::_exit(result);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace folivo::test
