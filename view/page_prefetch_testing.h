#pragma once

#include "view/page_prefetch.h"

#include <QString>
#include <QtGlobal>

#include <functional>

namespace folivo {

/// Bytes of pixels held by prepared pages and by pages being rendered: at most
/// PagePrefetch::kByteBudget.
qint64 heldBytes(const PagePrefetch& prefetch);
/// Waits until no page is being prepared or waits to be.
void waitUntilIdle(PagePrefetch& prefetch);
/// Calls `beforeDecode` on the worker's thread with each page just before it is decoded: it
/// may hold the decode back. Set it before any page is prepared.
void setBeforeDecode(PagePrefetch& prefetch, std::function<void(const QString& path)> beforeDecode);

} // namespace folivo
