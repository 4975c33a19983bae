#pragma once

#include "view/page_prefetch.h"

#include <QtGlobal>

namespace folivo {

/// Bytes of pixels held by prepared pages and by pages being rendered: at most
/// PagePrefetch::kByteBudget.
qint64 heldBytes(const PagePrefetch& prefetch);
/// Waits until no page is being prepared or waits to be.
void waitUntilIdle(PagePrefetch& prefetch);

} // namespace folivo
