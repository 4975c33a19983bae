#pragma once

#include <QtCore/qnamespace.h>

class QMdiArea;
class QMimeData;

namespace folivo {

/// What the page and help windows need of the main window: the client area they live in,
/// the button that takes the focus back, and the drop handler their drops end in.
class ChildWindowHost {
public:
    virtual ~ChildWindowHost() = default;

    virtual QMdiArea* mdiArea() const = 0;
    /// Gives the keyboard focus back to "次=>", where the page keys act.
    virtual void focusNextButton() = 0;
    /// Whether 倍率固定 is ticked, so that the next turns keep the zoom.
    virtual bool zoomFixed() const = 0;
    /// Opens the first path of a drop (from any of the program's windows).
    virtual void MDIForm_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect,
                                     Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, double X,
                                     double Y) = 0;
};

} // namespace folivo
