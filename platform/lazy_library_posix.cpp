#include "platform/lazy_library.h"

#include <dlfcn.h>

namespace folivo {

void* LazyLibrary::function(const char* name)
{
    std::call_once(m_opened, [this] {
        // Bound at once, on whichever thread asks first: usually the one that unpacks.
        m_handle = ::dlopen(m_soname, RTLD_NOW | RTLD_LOCAL);
    });
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

} // namespace folivo
