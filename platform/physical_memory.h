#pragma once

#include <cstdint>

namespace folivo {

/// The machine's physical memory in bytes, or 0 when the system does not tell.
std::int64_t physicalMemoryBytes();

} // namespace folivo
