#pragma once

#include "picture/picture_loader.h"

#include <QImage>
#include <QWidget>

class QMimeData;

namespace folivo {

/// The page's image control: holds a picture and shows it. With stretch off it takes the
/// picture's natural size; with stretch on the picture is drawn scaled to the control's size.
/// Sizes are in twips, as everywhere in the page logic; the widget follows in pixels.
class ImageControl : public QWidget {
    Q_OBJECT
public:
    explicit ImageControl(QWidget* parent = nullptr);

    /// Assigns a picture. With stretch off the control takes on the picture's natural size.
    /// A prepared image is the picture already rendered ahead of time: it is drawn instead
    /// of rendering again when it turns out to have the size the control draws at.
    void setPicture(const Picture& picture, const QImage& prepared = QImage());
    /// Lets go of the picture and its pixels, keeping the control's size: for a control that
    /// is hidden and gets a new picture before it is shown again.
    void dropPicture();

    /// Switching stretch on renders the picture at the control's size (may throw Error).
    void setStretch(bool stretch);

    int widthTwips() const { return m_widthTwips; }
    int heightTwips() const { return m_heightTwips; }
    /// Sets the size in twips; the widget is resized to the nearest whole pixels.
    void setSizeTwips(int widthTwips, int heightTwips);

    /// The size in device pixels at which a control of this many pixels is drawn.
    static QSize deviceSize(const QSize& pixels, qreal devicePixelRatio);

signals:
    /// A drop on the control, with the six values every drop handler of the program takes.
    void dropped(const QMimeData* data, Qt::DropAction effect, Qt::MouseButtons button,
                 Qt::KeyboardModifiers shift, double x, double y);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What the tests read of the control (image_control_testing.h).
    friend const QImage& shownImage(const ImageControl& control);
    friend int preparedDrawn(const ImageControl& control);

    void renderIfStretched();

    Picture m_picture;
    QImage m_rendered;
    QImage m_prepared;
    int m_preparedDrawn = 0; // read by the tests only
    bool m_stretch = false;
    int m_widthTwips = 0;
    int m_heightTwips = 0;
};

} // namespace folivo
