#include "app/reading_menu.h"

#include <QAction>
#include <QVariant>

namespace folivo {
namespace {

const auto kCaptionMoreFormats = QStringLiteral("その他の形式も開く");

} // namespace

ReadingMenu::ReadingMenu(Changed changed, QWidget* parent)
    : QMenu(parent)
    , m_changed(std::move(changed))
{
    addOption(ReadingOptions::Option::MoreFormats, kCaptionMoreFormats);
}

QAction* ReadingMenu::item(ReadingOptions::Option option) const
{
    for (QAction* action : actions()) {
        if (action->data().toInt() == static_cast<int>(option))
            return action;
    }
    return nullptr;
}

void ReadingMenu::addOption(ReadingOptions::Option option, const QString& caption)
{
    QAction* action = addAction(caption);
    action->setCheckable(true);
    action->setChecked(ReadingOptions::isOn(option));
    action->setData(static_cast<int>(option));
    connect(action, &QAction::toggled, this, [this, option](bool on) {
        ReadingOptions::set(option, on);
        if (m_changed)
            m_changed(option);
    });
}

} // namespace folivo
