#include "platform/window_store.h"

#include <QBackingStore>
#include <QImage>
#include <QWidget>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

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
    // first touch stops the paint for a fault (about 10 µs on a virtual machine, a tenth of
    // the start-up for a full-screen window); asked for at once, the kernel fills in the page
    // tables in one call. Where that is not supported, the paint touches the pages as before.
#ifdef MADV_POPULATE_WRITE
    // Whole pages inside the image only: the memory around it is not ours to touch.
    const auto page = static_cast<qsizetype>(sysconf(_SC_PAGESIZE));
    uchar* bits = const_cast<uchar*>(image->constBits()); // madvise writes no byte
    const auto misalignment = static_cast<qsizetype>(reinterpret_cast<std::uintptr_t>(bits) %
                                                     static_cast<std::uintptr_t>(page));
    const qsizetype skip = misalignment == 0 ? 0 : page - misalignment;
    const qsizetype length = (image->sizeInBytes() - skip) / page * page;
    if (length > 0)
        madvise(bits + skip, static_cast<std::size_t>(length), MADV_POPULATE_WRITE);
#endif
}

} // namespace folivo
