#pragma once

#include <QByteArray>

#include <functional>

namespace folivo {

/// The points between the steps of replaceFileAtomically.
enum class AtomicFileStep {
    Written, ///< the temporary file holds the whole content
    Synced,  ///< ... and is on disk
    Closed,  ///< ... and is closed: the rename comes next
    Renamed, ///< path holds the new content; the folder is flushed next
};

/// Called at each point; a nonzero answer stops the routine there as if the step just done
/// had failed with that errno.
using AtomicFileStop = std::function<int(AtomicFileStep step)>;

/// replaceFileAtomically, asking stop at each point between its steps.
int replaceFileAtomically(const QByteArray& path, const QByteArray& content,
                          const AtomicFileStop& stop);

} // namespace folivo
