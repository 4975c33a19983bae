#pragma once

namespace folivo {

/// Makes the calling thread yield the processor to the program's other threads (and to the
/// display server) whenever they want it: for work done ahead of time that nobody waits for
/// yet. It keeps its full share of a processor nobody else wants.
void lowerCurrentThreadPriority();

} // namespace folivo
