#pragma once

#include <QScrollBar>

namespace folivo {

/// A scroll bar of the main window's client area that is sized by the part of the page in
/// view. The client area sets the bar's page step to the whole extent of its windows; over an
/// enlarged page that makes the handle longer than the track beside it, so the track reads as
/// the handle, at the far end, and a click on it jumps to the page's far edge.
class ClientAreaScrollBar : public QScrollBar {
public:
    /// `viewport`: the client area's view, whose extent along the bar is what one page step
    /// moves.
    ClientAreaScrollBar(Qt::Orientation orientation, const QWidget* viewport,
                        QWidget* parent = nullptr);

protected:
    void sliderChange(SliderChange change) override;

private:
    const QWidget* m_viewport;
};

} // namespace folivo
