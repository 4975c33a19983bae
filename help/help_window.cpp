#include "help/help_window.h"

#include "platform/child_window_host.h"
#include "platform/file_drop.h"
#include "platform/screen.h"

#include <QImageReader>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>

// The picture lives in the static core library; nothing else refers to its resource, so the
// linker would leave it out unless it is registered by name.
static void registerHelpResource()
{
    Q_INIT_RESOURCE(help);
}

namespace folivo {
namespace {

constexpr int kClientWidthTwips = 4665;
constexpr int kClientHeightTwips = 7155;

} // namespace

Form_Help::Form_Help(ChildWindowHost* host)
    : QWidget(nullptr)
    , m_host(host)
{
    registerHelpResource();
    // Read by the BMP handler itself: a reader left to detect the format would first load and
    // ask every image plugin on the machine whether it reads this one.
    QImageReader reader(QStringLiteral(":/help/help_page.bmp"), "bmp");
    reader.setAutoDetectImageFormat(false);
    m_picture = QPixmap::fromImageReader(&reader);
    acceptFileDrops(this, std::bind_front(&Form_Help::Form_OLEDragDrop, this));
    setFocusPolicy(Qt::ClickFocus);
    setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    m_subWindow = host->mdiArea()->addSubWindow(this, Qt::FramelessWindowHint);
    m_subWindow->setAcceptDrops(true);
}

void Form_Help::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // Drawn at its natural size from the corner; a smaller window cuts it off.
    painter.drawPixmap(0, 0, m_picture);
}

void Form_Help::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    Form_GotFocus();
}

void Form_Help::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    Form_GotFocus();
}

void Form_Help::Form_GotFocus()
{
    m_host->focusNextButton();
}

void Form_Help::Form_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect,
                                 Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, double X,
                                 double Y)
{
    m_host->MDIForm_OLEDragDrop(Data, Effect, Button, Shift, X, Y);
}

} // namespace folivo
