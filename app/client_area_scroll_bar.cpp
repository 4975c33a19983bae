#include "app/client_area_scroll_bar.h"

namespace folivo {

ClientAreaScrollBar::ClientAreaScrollBar(Qt::Orientation orientation, const QWidget* viewport,
                                         QWidget* parent)
    : QScrollBar(orientation, parent)
    , m_viewport(viewport)
{
}

void ClientAreaScrollBar::sliderChange(SliderChange change)
{
    if (change == SliderStepsChange) {
        // The client area sets its own page step whenever a window or the view changes size;
        // the view's own resize comes last, so the extent read here is the one on screen.
        const int inView =
            orientation() == Qt::Horizontal ? m_viewport->width() : m_viewport->height();
        if (inView > 0 && pageStep() != inView) {
            setPageStep(inView); // reports the change again, with the step it keeps
            return;
        }
    }
    QScrollBar::sliderChange(change);
}

} // namespace folivo
