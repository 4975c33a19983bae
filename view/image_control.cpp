#include "view/image_control.h"

#include "platform/file_drop.h"
#include "platform/screen.h"
#include "view/image_control_testing.h"

#include <QPainter>
#include <QtMath>

#include <utility>

namespace folivo {

ImageControl::ImageControl(QWidget* parent)
    : QWidget(parent)
{
    acceptFileDrops(this, std::bind_front(&ImageControl::dropped, this));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageControl::setPicture(const Picture& picture, const QImage& prepared)
{
    m_picture = picture;
    m_prepared = prepared;
    m_rendered = QImage();
    if (!m_stretch) {
        const QSize natural = picture.isNull() ? QSize() : picture.naturalSizeTwips();
        m_widthTwips = natural.width();
        m_heightTwips = natural.height();
    }
    renderIfStretched();
}

void ImageControl::dropPicture()
{
    m_picture = Picture();
    m_prepared = QImage();
    m_rendered = QImage();
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
    // Scans have pixels to spare: on a high-density screen the page is rendered at its
    // device size rather than left for the toolkit to enlarge.
    const qreal ratio = devicePixelRatioF();
    const QSize target = deviceSize(size(), ratio);
    if (target.isEmpty())
        return;
    if (m_rendered.size() == target && m_rendered.devicePixelRatio() == ratio)
        return;
    if (!m_prepared.isNull() && m_prepared.size() == target &&
        m_prepared.devicePixelRatio() == ratio) {
        m_rendered = std::exchange(m_prepared, QImage());
        ++m_preparedDrawn;
    } else {
        m_prepared = QImage();
        m_rendered = m_picture.render(target);
        m_rendered.setDevicePixelRatio(ratio);
    }
    update();
}

QSize ImageControl::deviceSize(const QSize& pixels, qreal devicePixelRatio)
{
    // Rounded up: at a fractional ratio the last device pixel of the control is covered too.
    return QSize(qCeil(pixels.width() * devicePixelRatio - 1e-9),
                 qCeil(pixels.height() * devicePixelRatio - 1e-9));
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

const QImage& shownImage(const ImageControl& control)
{
    return control.m_rendered;
}

int preparedDrawn(const ImageControl& control)
{
    return control.m_preparedDrawn;
}

} // namespace folivo
