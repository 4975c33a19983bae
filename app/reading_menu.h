#pragma once

#include "settings/reading_options.h"

#include <QMenu>

#include <functional>

namespace folivo {

/// The context menu of the page, the help page and the client area: the reading options as
/// check items, and the commands that go with them. Choosing an option turns it on or off
/// and writes it at once, then tells `changed`, which makes it take effect on what is on
/// screen.
class ReadingMenu : public QMenu {
    Q_OBJECT
public:
    /// What the menu's items ask of the window.
    struct Commands {
        std::function<void(ReadingOptions::Option)> changed;
        /// Shifts the pairing of the book on screen by one page.
        std::function<void()> shiftPairing;
        /// Opens the next (+1) or previous (-1) book beside the one on screen.
        std::function<void(int)> otherBook;
    };

    ReadingMenu(Commands commands, QWidget* parent);

    /// The item of an option.
    QAction* item(ReadingOptions::Option option) const;
    /// The "1ページずらす" item.
    QAction* shiftPairingItem() const { return m_shiftPairing; }
    /// The "次の本" (+1) or "前の本" (-1) item.
    QAction* otherBookItem(int direction) const
    {
        return direction > 0 ? m_nextBook : m_previousBook;
    }

private:
    void addOption(ReadingOptions::Option option, const QString& caption);

    Commands m_commands;
    QAction* m_shiftPairing = nullptr;
    QAction* m_nextBook = nullptr;
    QAction* m_previousBook = nullptr;
};

} // namespace folivo
