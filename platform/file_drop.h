#pragma once

#include <QDropEvent>
#include <QMimeData>

namespace folivo {

/// Lets a drag in when it carries files: the program's windows take dropped files and
/// folders, nothing else.
inline void acceptFileDrag(QDropEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

} // namespace folivo
