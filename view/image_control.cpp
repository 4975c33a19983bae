#include "view/image_control.h"

#include "platform/file_drop.h"
#include "platform/screen.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>

namespace folivo {

ImageControl::ImageControl(QWidget* parent)
    : QWidget(parent)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageControl::setPicture(const Picture& picture)
{
    m_picture = picture;
    m_rendered = QImage();
    if (!m_stretch) {
        const QSize natural = picture.isNull() ? QSize() : picture.naturalSizeTwips();
        m_widthTwips = natural.width();
        m_heightTwips = natural.height();
    }
    renderIfStretched();
}

void ImageControl::setStretch(bool stretch)
{
    m_stretch = stretch;
    renderIfStretched();
}

void ImageControl::setSizeTwips(int widthTwips, int heightTwips)
{
    m_widthTwips = widthTwips;
    m_heightTwips = heightTwips;
    resize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
    renderIfStretched();
}

void ImageControl::renderIfStretched()
{
    if (!m_stretch || m_picture.isNull()) {
        return;
    }
    const QSize target = size();
    if (m_rendered.size() == target || target.isEmpty())
        return;
    m_rendered = m_picture.render(target);
    update();
}

void ImageControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_rendered.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.drawImage(0, 0, m_rendered);
}

void ImageControl::dragEnterEvent(QDragEnterEvent* event)
{
    acceptFileDrag(event);
}

void ImageControl::dragMoveEvent(QDragMoveEvent* event)
{
    acceptFileDrag(event);
}

void ImageControl::dropEvent(QDropEvent* event)
{
    emit dropped(event->mimeData(), event->proposedAction(), event->buttons(), event->modifiers(),
                 event->position().x(), event->position().y());
    event->acceptProposedAction();
}

} // namespace folivo
