#include "app/reading_menu.h"

#include <QAction>
#include <QVariant>

namespace folivo {
namespace {

const auto kCaptionMoreFormats = QStringLiteral("その他の形式も開く");
const auto kCaptionSpread = QStringLiteral("見開き表示");
const auto kCaptionRightToLeft = QStringLiteral("右綴じ");
const auto kCaptionCoverAlone = QStringLiteral("表紙を単独で表示");
const auto kCaptionShiftPairing = QStringLiteral("1ページずらす");
const auto kCaptionResume = QStringLiteral("続きから読む");
const auto kCaptionNextBook = QStringLiteral("次の本");
const auto kCaptionPreviousBook = QStringLiteral("前の本");

} // namespace

ReadingMenu::ReadingMenu(Commands commands, QWidget* parent)
    : QMenu(parent)
    , m_commands(std::move(commands))
{
    using ReadingOptions::Option;
    addOption(Option::MoreFormats, kCaptionMoreFormats);
    addSeparator();
    addOption(Option::Spread, kCaptionSpread);
    addOption(Option::RightToLeft, kCaptionRightToLeft);
    addOption(Option::CoverAlone, kCaptionCoverAlone);
    m_shiftPairing = addAction(kCaptionShiftPairing);
    // Pairs exist only in spreads.
    m_shiftPairing->setEnabled(ReadingOptions::isOn(Option::Spread) &&
                               static_cast<bool>(m_commands.shiftPairing));
    connect(m_shiftPairing, &QAction::triggered, this, [this] { m_commands.shiftPairing(); });
    addSeparator();
    addOption(Option::Resume, kCaptionResume);
    addSeparator();
    m_nextBook = addAction(kCaptionNextBook);
    m_previousBook = addAction(kCaptionPreviousBook);
    for (QAction* book : {m_nextBook, m_previousBook}) {
        const int direction = book == m_nextBook ? 1 : -1;
        book->setEnabled(static_cast<bool>(m_commands.otherBook));
        connect(book, &QAction::triggered, this,
                [this, direction] { m_commands.otherBook(direction); });
    }
}

QAction* ReadingMenu::item(ReadingOptions::Option option) const
{
    for (QAction* action : actions()) {
        if (action->isCheckable() && action->data().toInt() == static_cast<int>(option))
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
        if (m_commands.changed)
            m_commands.changed(option);
    });
}

} // namespace folivo
