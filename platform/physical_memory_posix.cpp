#include "platform/physical_memory.h"

#include <unistd.h>

namespace folivo {

std::int64_t physicalMemoryBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::int64_t{pages} * pageSize;
}

} // namespace folivo
