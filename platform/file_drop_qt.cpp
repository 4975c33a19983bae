#include "platform/file_drop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

#include <utility>

namespace folivo {
namespace {

class FileDropFilter final : public QObject {
public:
    FileDropFilter(QWidget* widget, DropHandler handler)
        : QObject(widget)
        , m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (static_cast<QDropEvent*>(event)->mimeData()->hasUrls())
                static_cast<QDropEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            drop->acceptProposedAction();
            m_handler(drop->mimeData(), drop->proposedAction(), drop->buttons(), drop->modifiers(),
                      drop->position().x(), drop->position().y());
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    DropHandler m_handler;
};

} // namespace

void acceptFileDrops(QWidget* widget, DropHandler handler)
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(new FileDropFilter(widget, std::move(handler)));
}

} // namespace folivo
