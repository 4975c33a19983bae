#pragma once

class QWidget;

namespace folivo {

/// Gives a shown top-level window the store its first paint draws into, every page of it
/// already in memory, so that the paint does not stop at each page it first touches.
void prepareWindowStore(QWidget& window);

} // namespace folivo
