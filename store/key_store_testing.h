#pragma once

#include <QtGlobal>

namespace folivo {

/// How many times this process has rewritten the key store file: shows whether an operation
/// had to change anything.
quint64 keyStoreWriteCount();

} // namespace folivo
