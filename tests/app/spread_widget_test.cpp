// Two-page spreads on a real main window: which pages pair up, on which side each stands,
// how the pair is fitted, turned, picked, shifted and read ahead.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "app/reading_menu.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/screen.h"
#include "settings/ini_file.h"
#include "settings/reading_options_testing.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/fit_search.h"
#include "view/image_control.h"
#include "view/image_control_testing.h"
#include "view/page_prefetch_testing.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace folivo {
namespace {

using ReadingOptions::Option;
using ReadingOptions::ScopedOption;

const QString kLastPage = QStringLiteral("最終データです。");
const QString kFirstPage = QStringLiteral("先頭データです。");
constexpr int kPages = 9;
constexpr int kWidePage = 6;

QColor pageColor(int page)
{
    return QColor::fromHsv((page * 40) % 360, 230, 230);
}

int pageOfColor(QColor color)
{
    for (int page = 1; page <= kPages; ++page) {
        const QColor expected = pageColor(page);
        if (std::abs(color.red() - expected.red()) < 8 &&
            std::abs(color.green() - expected.green()) < 8 &&
            std::abs(color.blue() - expected.blue()) < 8)
            return page;
    }
    return 0;
}

QStringList spreadsOf(std::initializer_list<const char*> spreads)
{
    QStringList list;
    for (const char* spread : spreads)
        list.append(QLatin1String(spread));
    return list;
}

// Pages p1 to p9, each of its own colour, portrait but for the wide p6; p3 twice as large as
// its neighbours, of the same shape; p4 and p5 nearly square.
class Spreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::makeFolder(home.filePath(QStringLiteral("book")));
        for (int page = 1; page <= kPages; ++page) {
            QSize size(300, 400);
            if (page == kWidePage)
                size = QSize(500, 300);
            else if (page == 3)
                size = QSize(600, 800);
            else if (page == 4 || page == 5)
                size = QSize(390, 400); // side by side, wider than the view area's shape
            ASSERT_TRUE(test::writePicture(folder + QStringLiteral("/p%1.bmp").arg(page),
                                           size.width(), size.height(), pageColor(page)));
        }
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(folder, scratch);
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                              home.filePath(QStringLiteral("Folivo.ini")), folder);
    }

    void open(bool spread, bool rightToLeft, bool coverAlone)
    {
        options[0].emplace(Option::Spread, spread);
        options[1].emplace(Option::RightToLeft, rightToLeft);
        options[2].emplace(Option::CoverAlone, coverAlone);
        window.MDIForm_Load(QString());
        ui.messages.clear();
    }

    Form_Main& page() const { return *pageWindowIfCreated(window); }
    /// The pages on screen, left to right: "3|2", or "6" for a page alone.
    QString onScreen() const
    {
        const QImage shot = page().grab().toImage();
        const int y = shot.height() / 2;
        const int left = pageOfColor(shot.pixelColor(shot.width() / 4, y));
        const int right = pageOfColor(shot.pixelColor(shot.width() * 3 / 4, y));
        if (left == right)
            return QString::number(left);
        return QStringLiteral("%1|%2").arg(left).arg(right);
    }
    QString fileText() const { return window.Combo_File->currentText(); }
    void next() { window.Command_Preview_PostView_Click(1); }
    void previous() { window.Command_Preview_PostView_Click(0); }
    ImageControl& partner() const
    {
        for (ImageControl* control : page().findChildren<ImageControl*>()) {
            if (control != page().Image_Main())
                return *control;
        }
        throw std::logic_error("no partner control");
    }
    void pick(const QString& name)
    {
        window.Combo_File->setEditText(name);
        window.Combo_File_Click();
    }
    /// Opens the reading menu on the page and triggers one of its items.
    void chooseInMenu(const std::function<QAction*(ReadingMenu&)>& item)
    {
        bool chosen = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<ReadingMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QAction* action = item(*menu);
            ASSERT_TRUE(action->isEnabled());
            menu->close();
            action->trigger();
            chosen = true;
        });
        const QPoint inside(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, inside, page().mapToGlobal(inside));
        QApplication::sendEvent(&page(), &event);
        ASSERT_TRUE(chosen);
    }

    test::TempHome home;
    test::RecordingUi ui;
    std::optional<ScopedOption> options[3];
    QString folder;
    MDIForm_Main window;
};

TEST_F(Spreads, BoundOnTheRightTheCoverStandsAloneAndLaterPagesStandLeft)
{
    open(true, true, true);
    EXPECT_EQ(onScreen(), QStringLiteral("1"));
    EXPECT_EQ(fileText(), QStringLiteral("p1.bmp"));

    QStringList shown;
    QStringList files;
    for (int turn = 0; turn < 5; ++turn) {
        next();
        shown.append(onScreen());
        files.append(fileText());
    }
    EXPECT_EQ(shown, spreadsOf({"3|2", "5|4", "6", "8|7", "9"}));
    EXPECT_EQ(files, spreadsOf({"p2.bmp", "p4.bmp", "p6.bmp", "p7.bmp", "p9.bmp"}));
    EXPECT_TRUE(ui.messages.empty());

    next();
    EXPECT_EQ(onScreen(), QStringLiteral("9"));
    EXPECT_EQ(fileText(), QStringLiteral("p9.bmp"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, kLastPage);
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Information);

    shown.clear();
    for (int turn = 0; turn < 5; ++turn) {
        previous();
        shown.append(onScreen());
    }
    EXPECT_EQ(shown, spreadsOf({"8|7", "6", "5|4", "3|2", "1"}));
    previous();
    EXPECT_EQ(onScreen(), QStringLiteral("1"));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].prompt, kFirstPage);
    EXPECT_EQ(window.focusWidget(), static_cast<QWidget*>(window.Command_Preview_PostView[1]));
}

TEST_F(Spreads, BoundOnTheLeftTheEarlierPageStandsLeft)
{
    open(true, false, true);
    QStringList shown{onScreen()};
    for (int turn = 0; turn < 5; ++turn) {
        next();
        shown.append(onScreen());
    }
    EXPECT_EQ(shown, spreadsOf({"1", "2|3", "4|5", "6", "7|8", "9"}));
}

TEST_F(Spreads, ThePairIsFittedAsOnePictureAndZoomedAsOne)
{
    open(true, false, true);
    next();
    ASSERT_EQ(onScreen(), QStringLiteral("2|3"));
    // p3 is twice p2's size: drawn at p2's height, the two are one 600 × 400 picture.
    const FitResult joint = fitPage(600 * 15.0, 400 * 15.0, 1.0, 1.0, Mod_Varnox::View_Width,
                                    Mod_Varnox::View_Height, 1, 0);
    EXPECT_EQ(Mod_Varnox::Cur_base_bairitu, joint.baseBairitu);
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);
    const QSize fitted = page().subWindow()->size();
    EXPECT_NEAR(fitted.width(), twipsToPixels(joint.width), 1);
    EXPECT_EQ(fitted.height(), twipsToPixels(joint.height));
    EXPECT_EQ(page().Image_Main()->height(), partner().height());
    EXPECT_NEAR(page().Image_Main()->width(), partner().width(), 1);
    EXPECT_EQ(page().Image_Main()->width() + partner().width(), fitted.width());

    window.Command_Small_Big_Click(0);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 0.8, 1e-9);
    EXPECT_NEAR(page().subWindow()->width(), fitted.width() * 0.8, 2.0);
    EXPECT_NEAR(page().subWindow()->height(), fitted.height() * 0.8, 1.0);
    EXPECT_EQ(onScreen(), QStringLiteral("2|3"));

    // Fixed, the zoom carries over to the next pair, applied on top of its fit.
    window.Check->setChecked(true);
    next();
    EXPECT_EQ(onScreen(), QStringLiteral("4|5"));
    const FitResult next = fitPage(780 * 15.0, 400 * 15.0, 0.8, 1.0, Mod_Varnox::View_Width,
                                   Mod_Varnox::View_Height, 1, 1);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 0.8, 1e-9);
    EXPECT_EQ(Mod_Varnox::Cur_base_bairitu, next.baseBairitu);
    EXPECT_NEAR(page().subWindow()->width(), twipsToPixels(next.width), 1);
    EXPECT_EQ(page().subWindow()->height(), twipsToPixels(next.height));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Spreads, PickingAPageShowsThePairThatHoldsIt)
{
    open(true, true, true);
    pick(QStringLiteral("p5.bmp"));
    EXPECT_EQ(onScreen(), QStringLiteral("5|4"));
    EXPECT_EQ(fileText(), QStringLiteral("p4.bmp"));
    pick(QStringLiteral("p6.bmp"));
    EXPECT_EQ(onScreen(), QStringLiteral("6"));
    pick(QStringLiteral("p8.bmp"));
    EXPECT_EQ(onScreen(), QStringLiteral("8|7"));
    EXPECT_EQ(fileText(), QStringLiteral("p7.bmp"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Spreads, ShiftingThePairingHoldsForTheBookOnScreenOnly)
{
    open(true, true, true);
    next();
    ASSERT_EQ(onScreen(), QStringLiteral("3|2"));
    chooseInMenu([](ReadingMenu& menu) { return menu.shiftPairingItem(); });
    // The pair that holds the file box's page, p2, is now (1, 2).
    EXPECT_EQ(onScreen(), QStringLiteral("2|1"));
    EXPECT_EQ(fileText(), QStringLiteral("p1.bmp"));
    QStringList shown;
    for (int turn = 0; turn < 4; ++turn) {
        next();
        shown.append(onScreen());
    }
    EXPECT_EQ(shown, spreadsOf({"4|3", "5", "6", "7"}));

    // Opened again, the book pairs as it did.
    window.Combo_Path_Click();
    EXPECT_EQ(onScreen(), QStringLiteral("1"));
    next();
    EXPECT_EQ(onScreen(), QStringLiteral("3|2"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Spreads, TurningSpreadsOnAndOffShowsThePageOnScreenAnew)
{
    open(false, true, true);
    next();
    ASSERT_EQ(onScreen(), QStringLiteral("2"));
    const QSize single = page().subWindow()->size();

    chooseInMenu([](ReadingMenu& menu) { return menu.item(Option::Spread); });
    EXPECT_TRUE(ReadingOptions::isOn(Option::Spread));
    EXPECT_EQ(onScreen(), QStringLiteral("3|2"));
    EXPECT_EQ(fileText(), QStringLiteral("p2.bmp"));

    chooseInMenu([](ReadingMenu& menu) { return menu.item(Option::RightToLeft); });
    EXPECT_EQ(onScreen(), QStringLiteral("2|3"));

    chooseInMenu([](ReadingMenu& menu) { return menu.item(Option::Spread); });
    EXPECT_EQ(onScreen(), QStringLiteral("2"));
    EXPECT_EQ(page().subWindow()->size(), single);
    EXPECT_FALSE(partner().isVisible());
    EXPECT_EQ(page().Image_Main()->pos(), QPoint(0, 0));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Spreads, BothPagesOfTheNextPairAreReadAhead)
{
    open(true, true, true);
    next();
    ASSERT_EQ(onScreen(), QStringLiteral("3|2"));
    waitUntilIdle(page().prefetch());
    const int firstBefore = preparedDrawn(*page().Image_Main());
    const int secondBefore = preparedDrawn(partner());
    next();
    ASSERT_EQ(onScreen(), QStringLiteral("5|4"));
    EXPECT_EQ(preparedDrawn(*page().Image_Main()), firstBefore + 1);
    EXPECT_EQ(preparedDrawn(partner()), secondBefore + 1);
}

} // namespace
} // namespace folivo
