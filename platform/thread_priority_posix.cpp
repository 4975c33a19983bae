#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace folivo {

void lowerCurrentThreadPriority()
{
    // On Linux a nice value belongs to a thread, not to the whole process. At 10 the thread
    // gets about a tenth of a processor that another thread also wants.
    constexpr int kNice = 10;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kNice);
}

} // namespace folivo
