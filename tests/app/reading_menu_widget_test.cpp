// The reading options' context menu on a real main window: where it opens, and that turning
// an option on takes effect on the book on screen at once.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "app/reading_menu.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "settings/reading_options_testing.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/page_window.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace folivo {
namespace {

using ReadingOptions::Option;

class ReadingMenuOnWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::makeFolder(home.filePath(QStringLiteral("book")));
        test::writePicture(folder + QStringLiteral("/a.jpg"), 300, 400);
        test::writePicture(folder + QStringLiteral("/b.jpg"), 300, 400);
        QFile(folder + QStringLiteral("/a2.png")).open(QIODevice::WriteOnly);
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(folder, scratch);
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                              home.filePath(QStringLiteral("Folivo.ini")), folder);
        window.MDIForm_Load(QString());
        ASSERT_EQ(window.Combo_File->currentText(), QStringLiteral("a.jpg"));
    }

    QStringList fileItems() const
    {
        QStringList items;
        for (int i = 0; i < window.Combo_File->count(); ++i)
            items.append(window.Combo_File->itemText(i));
        return items;
    }

    /// Sends a context-menu event to `target` and runs `whileOpen` on the menu it opens;
    /// null when none opened.
    ReadingMenu* openMenu(QWidget* target, QContextMenuEvent::Reason reason,
                          const std::function<void(ReadingMenu&)>& whileOpen)
    {
        ReadingMenu* seen = nullptr;
        // A timer of this call's own: when no menu opens, it goes with the call unfired.
        QTimer whileShown;
        whileShown.setSingleShot(true);
        QObject::connect(&whileShown, &QTimer::timeout, [&] {
            seen = qobject_cast<ReadingMenu*>(QApplication::activePopupWidget());
            if (seen) {
                whileOpen(*seen);
                seen->close();
            }
        });
        whileShown.start(0);
        const QPoint inside(5, 5);
        QContextMenuEvent event(reason, inside, target->mapToGlobal(inside));
        QApplication::sendEvent(target, &event);
        return seen;
    }

    test::TempHome home;
    test::RecordingUi ui;
    ReadingOptions::ScopedOption restore{Option::MoreFormats, false};
    QString folder;
    MDIForm_Main window;
};

TEST_F(ReadingMenuOnWindow, OpensOnThePageTheHelpPageTheClientAreaAndTheMenuKeyOnly)
{
    const auto opens = [this](QWidget* target, QContextMenuEvent::Reason reason) {
        return openMenu(target, reason, [](ReadingMenu&) {}) != nullptr;
    };
    EXPECT_TRUE(opens(pageWindowIfCreated(window), QContextMenuEvent::Mouse));
    EXPECT_TRUE(opens(helpWindow(window), QContextMenuEvent::Mouse));
    EXPECT_TRUE(opens(window.mdiArea()->viewport(), QContextMenuEvent::Mouse));
    EXPECT_TRUE(opens(window.Command_Preview_PostView[1], QContextMenuEvent::Keyboard));
    EXPECT_FALSE(opens(window.Command_Preview_PostView[1], QContextMenuEvent::Mouse));
}

TEST_F(ReadingMenuOnWindow, TurningMoreFormatsOnListsThePagesAgainAndKeepsThePageOnScreen)
{
    ReadingMenu* menu =
        openMenu(pageWindowIfCreated(window), QContextMenuEvent::Mouse, [](ReadingMenu& open) {
            QAction* item = open.item(Option::MoreFormats);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->text(), QStringLiteral("その他の形式も開く"));
            EXPECT_FALSE(item->isChecked());
            item->trigger();
        });
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(ReadingOptions::isOn(Option::MoreFormats));
    EXPECT_EQ(fileItems(), QStringList({"a.jpg", "a2.png", "b.jpg"}));
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("a.jpg"));
    QFile options(ReadingOptions::optionsFilePath());
    ASSERT_TRUE(options.open(QIODevice::ReadOnly));
    EXPECT_EQ(options.readAll(), QByteArray("[Reading]\nMoreFormats=1\n"));

    openMenu(pageWindowIfCreated(window), QContextMenuEvent::Mouse, [](ReadingMenu& open) {
        EXPECT_TRUE(open.item(Option::MoreFormats)->isChecked());
        open.item(Option::MoreFormats)->trigger();
    });
    EXPECT_FALSE(ReadingOptions::isOn(Option::MoreFormats));
    EXPECT_EQ(fileItems(), QStringList({"a.jpg", "b.jpg"}));
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace folivo
