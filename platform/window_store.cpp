#include "platform/window_store.h"

#include "platform/prefaulted_buffer.h"

#include <QBackingStore>
#include <QImage>
#include <QWidget>

namespace folivo {

void prepareWindowStore(QWidget& window)
{
    QBackingStore* store = window.backingStore();
    if (!store)
        return;
    // Sized now as the first paint would size it, so that the paint keeps this one.
    if (store->size() != window.size())
        store->resize(window.size());
    const QPaintDevice* device = store->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return;
    const auto* image = static_cast<const QImage*>(device);
    // A window across the screen is several MB of new memory. Touched page by page, every
    // first touch stops the paint for a fault, a noticeable part of the start-up for a
    // full-screen window; asked for at once, the kernel fills in the page tables in one call.
    populatePages(const_cast<uchar*>(image->constBits()), // it writes no byte
                  static_cast<std::size_t>(image->sizeInBytes()));
}

} // namespace folivo
