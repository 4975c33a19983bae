#pragma once

#include "settings/reading_options.h"

#include <QMenu>

#include <functional>

namespace folivo {

/// The context menu of the page, the help page and the client area: the reading options as
/// check items. Choosing one turns the option on or off, writes it at once, then tells
/// `changed`, which makes it take effect on what is on screen.
class ReadingMenu : public QMenu {
    Q_OBJECT
public:
    using Changed = std::function<void(ReadingOptions::Option)>;

    ReadingMenu(Changed changed, QWidget* parent);

    /// The item of an option.
    QAction* item(ReadingOptions::Option option) const;

private:
    void addOption(ReadingOptions::Option option, const QString& caption);

    Changed m_changed;
};

} // namespace folivo
