// The toolbar's page commands on a real main window: turning pages, zooming, the keypad,
// fixing the magnification, and what the user is told at the ends.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/ui_services.h"
#include "settings/ini_file.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/image_control.h"
#include "view/image_control_testing.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

const QString kLastPage = QStringLiteral("最終データです。");
const QString kFirstPage = QStringLiteral("先頭データです。");
const QString kCannotShrink = QStringLiteral("もう小さくできません。");
const QString kCannotEnlarge = QStringLiteral("もう大きくできません。");
const QString kWrongFolder = QStringLiteral("正しい対象フォルダを指定してください。");

class PageCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::makeFolder(home.filePath(QStringLiteral("book")));
        test::writePicture(folder + QStringLiteral("/a.jpg"), 300, 400);
        QFile(folder + QStringLiteral("/b.txt")).open(QIODevice::WriteOnly);
        test::writePicture(folder + QStringLiteral("/C.GIF"), 400, 300);
        test::writePicture(folder + QStringLiteral("/d.jpeg"), 200, 200);
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(folder, scratch);
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent, settings(),
                              folder);
        window.MDIForm_Load(QString());
        ASSERT_EQ(window.Combo_File->currentText(), QStringLiteral("a.jpg"));
        ui.messages.clear();
    }

    QString settings() const { return home.filePath(QStringLiteral("Folivo.ini")); }
    QSize pageSize() const { return pageWindowIfCreated(window)->subWindow()->size(); }
    QString fileText() const { return window.Combo_File->currentText(); }
    QWidget* focused() const { return window.focusWidget(); }
    void next() { window.Command_Preview_PostView_Click(1); }
    void previous() { window.Command_Preview_PostView_Click(0); }
    void keypad(Qt::Key key, QWidget* target = nullptr)
    {
        QTest::keyClick(target ? target : window.Command_Preview_PostView[1], key,
                        Qt::KeypadModifier);
    }

    TempHome home;
    RecordingUi ui;
    QString folder;
    MDIForm_Main window;
};

TEST_F(PageCommands, NextAndPreviousWalkThePicturesAndStopAtBothEndsWithAMessage)
{
    next();
    EXPECT_EQ(fileText(), QStringLiteral("C.GIF"));
    next();
    EXPECT_EQ(fileText(), QStringLiteral("d.jpeg"));
    const QSize lastSize = pageSize();
    next();
    EXPECT_EQ(fileText(), QStringLiteral("d.jpeg"));
    EXPECT_EQ(pageSize(), lastSize);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, kLastPage);
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Information);
    EXPECT_EQ(ui.messages[0].title, QStringLiteral("Folivo"));
    EXPECT_EQ(focused(), window.Command_Preview_PostView[1]);

    previous();
    previous();
    EXPECT_EQ(fileText(), QStringLiteral("a.jpg"));
    previous();
    EXPECT_EQ(fileText(), QStringLiteral("a.jpg"));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].prompt, kFirstPage);
    QStringList items;
    for (int i = 0; i < window.Combo_File->count(); ++i)
        items << window.Combo_File->itemText(i);
    EXPECT_EQ(items, (QStringList{QStringLiteral("a.jpg"), QStringLiteral("C.GIF"),
                                  QStringLiteral("d.jpeg")}));
}

TEST_F(PageCommands, EveryPageIsFittedInsideTheViewAreaKeepingItsShape)
{
    for (int page = 0; page < 3; ++page) {
        const QSize size = pageSize() * 15;
        EXPECT_LT(size.width(), Mod_Varnox::View_Width + 15);
        EXPECT_LT(size.height(), Mod_Varnox::View_Height + 15);
        // Fitted pages fill the view area in one direction, within one step of the search.
        EXPECT_GT(std::max(double(size.width()) / Mod_Varnox::View_Width,
                           double(size.height()) / Mod_Varnox::View_Height),
                  0.99);
        next();
    }
    EXPECT_EQ(pageSize().width(), pageSize().height()); // d.jpeg is square
}

TEST_F(PageCommands, ZoomStepsStayWithinTheirBoundsAndComeBackToTheFit)
{
    const QSize fitted = pageSize();
    window.Command_Small_Big_Click(0);
    // Sizes are exact in twips; on screen they may differ by the rounding to whole pixels.
    EXPECT_NEAR(pageSize().width(), fitted.width() * 0.8, 1.0);
    EXPECT_NEAR(pageSize().height(), fitted.height() * 0.8, 1.0);
    window.Command_Small_Big_Click(1);
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);
    EXPECT_EQ(pageSize(), fitted);

    for (int i = 0; i < 4; ++i)
        window.Command_Small_Big_Click(0);
    EXPECT_TRUE(ui.messages.empty());
    window.Command_Small_Big_Click(0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, kCannotShrink);
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Warning);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 0.2, 1e-9);

    window.Combo_File_Click(); // picking the page again drops the zoom
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);
    EXPECT_EQ(pageSize(), fitted);
    for (int i = 0; i < 10; ++i)
        window.Command_Small_Big_Click(1);
    EXPECT_EQ(ui.messages.size(), 1u);
    window.Command_Small_Big_Click(1);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].prompt, kCannotEnlarge);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 3.0, 1e-9);
    EXPECT_EQ(focused(), window.Command_Preview_PostView[1]);
}

TEST_F(PageCommands, FixedMagnificationCarriesTheZoomToTheNextPage)
{
    window.Command_Small_Big_Click(1);
    window.Check->setChecked(true);
    next();
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 1.2, 1e-9);
    const QSize zoomed = pageSize();

    window.Check->setChecked(false);
    previous();
    next();
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);
    EXPECT_NEAR(pageSize().width(), zoomed.width() / 1.2, 1.0);
    EXPECT_NEAR(pageSize().height(), zoomed.height() / 1.2, 1.0);
}

// A step that finds no page leaves the page on screen, so an enlargement after it must
// start from that page's fit, not from the picture's natural size.
TEST_F(PageCommands, AStepPastEitherEndLeavesTheZoomActingOnThePageOnScreen)
{
    auto click = [](QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); };
    QPushButton* const nextButton = window.Command_Preview_PostView[1];
    QPushButton* const previousButton = window.Command_Preview_PostView[0];
    QPushButton* const shrink = window.Command_Small_Big[0];
    QPushButton* const enlarge = window.Command_Small_Big[1];

    click(nextButton);
    click(nextButton);
    ASSERT_EQ(fileText(), QStringLiteral("d.jpeg"));
    click(enlarge);
    const QSize enlargedLast = pageSize();
    click(shrink);
    click(nextButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, kLastPage);
    click(enlarge);
    EXPECT_EQ(pageSize(), enlargedLast);

    click(previousButton);
    click(previousButton);
    ASSERT_EQ(fileText(), QStringLiteral("a.jpg"));
    click(enlarge);
    const QSize enlargedFirst = pageSize();
    click(shrink);
    click(previousButton);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].prompt, kFirstPage);
    click(enlarge);
    EXPECT_EQ(pageSize(), enlargedFirst);

    // With the magnification fixed the kept zoom goes on from where it was.
    window.Check->setChecked(true);
    click(previousButton);
    ASSERT_EQ(ui.messages.size(), 3u);
    click(shrink);
    click(enlarge);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 1.2, 1e-9);
    EXPECT_EQ(pageSize(), enlargedFirst);
}

TEST_F(PageCommands, APageCallThatStopsAtTheFolderCheckKeepsTheFactorsOfThePageOnScreen)
{
    window.Command_Small_Big_Click(1);
    const double zoom = Mod_Varnox::Cur_bairitu;
    const double fit = Mod_Varnox::Cur_base_bairitu;
    ASSERT_NE(fit, 1.0);

    const QString shown = fileText();
    window.Combo_Path->setEditText(QStringLiteral("/nowhere"));
    window.Combo_File_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, kWrongFolder);
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, zoom);
    EXPECT_EQ(Mod_Varnox::Cur_base_bairitu, fit);

    // The folder is set right again without a pick: the zoom goes on from the page's fit.
    window.Combo_Path->setEditText(folder);
    window.Combo_File->setEditText(shown);
    const QSize enlarged = pageSize();
    QTest::mouseClick(window.Command_Small_Big[0], Qt::LeftButton);
    QTest::mouseClick(window.Command_Small_Big[1], Qt::LeftButton);
    EXPECT_EQ(pageSize(), enlarged);

    // A folder without pictures leaves the page of the previous one on screen, and its factors.
    const QString empty = test::makeFolder(home.filePath(QStringLiteral("empty")));
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(empty, scratch);
    window.Combo_Path_Load();
    window.Combo_Path->setEditText(empty);
    window.Combo_Path_Click();
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, zoom);
    EXPECT_EQ(Mod_Varnox::Cur_base_bairitu, fit);
}

TEST_F(PageCommands, KeypadKeysZoomAndToggleTheCheckFromEitherButtonArray)
{
    const QSize fitted = pageSize();
    keypad(Qt::Key_Plus);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 1.2, 1e-9);
    keypad(Qt::Key_Minus, window.Command_Small_Big[0]);
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);
    EXPECT_EQ(pageSize(), fitted);

    // The main keyboard's plus and minus reach no handler.
    QTest::keyClick(window.Command_Preview_PostView[1], Qt::Key_Plus);
    QTest::keyClick(window.Command_Preview_PostView[1], Qt::Key_Minus);
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);

    keypad(Qt::Key_Period);
    EXPECT_TRUE(window.Check->isChecked());
    keypad(Qt::Key_Period, window.Command_Small_Big[1]);
    EXPECT_FALSE(window.Check->isChecked());
    EXPECT_TRUE(ui.messages.empty());
}

// What each key does on the page buttons, as X11 delivers it: the keypad's keys carry the
// keypad modifier, and with NumLock off its decimal point arrives as Delete.
struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    double zoomAfter; // from 1.0
    bool togglesCheck;
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.name;
}

class PageKeys : public PageCommands, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(PageKeys, OnlyTheKeypadsPlusMinusAndDecimalPointAct)
{
    const KeyCase& c = GetParam();
    QTest::keyClick(window.Command_Preview_PostView[1], c.key, c.modifiers);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, c.zoomAfter, 1e-9);
    EXPECT_EQ(window.Check->isChecked(), c.togglesCheck);
    EXPECT_EQ(fileText(), QStringLiteral("a.jpg"));
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, PageKeys,
    ::testing::Values(
        KeyCase{"keypad plus", Qt::Key_Plus, Qt::KeypadModifier, 1.2, false},
        KeyCase{"keypad minus", Qt::Key_Minus, Qt::KeypadModifier, 0.8, false},
        KeyCase{"keypad decimal point", Qt::Key_Period, Qt::KeypadModifier, 1.0, true},
        KeyCase{"keypad decimal comma", Qt::Key_Comma, Qt::KeypadModifier, 1.0, true},
        KeyCase{"keypad Delete, NumLock off", Qt::Key_Delete, Qt::KeypadModifier, 1.0, false},
        KeyCase{"plus", Qt::Key_Plus, Qt::NoModifier, 1.0, false},
        KeyCase{"shifted plus", Qt::Key_Plus, Qt::ShiftModifier, 1.0, false},
        KeyCase{"minus", Qt::Key_Minus, Qt::NoModifier, 1.0, false},
        KeyCase{"period", Qt::Key_Period, Qt::NoModifier, 1.0, false},
        KeyCase{"Delete", Qt::Key_Delete, Qt::NoModifier, 1.0, false}));

TEST_F(PageCommands, SpaceBarOnTheFocusedNextButtonTurnsThePage)
{
    window.activateWindow();
    window.Command_Preview_PostView[1]->setFocus();
    QTest::keyClick(window.Command_Preview_PostView[1], Qt::Key_Space);
    EXPECT_EQ(fileText(), QStringLiteral("C.GIF"));
}

TEST_F(PageCommands, ZoomWithoutAPictureInTheFileBoxDoesNothing)
{
    window.Combo_File->setEditText(QStringLiteral("b.txt"));
    window.Command_Small_Big_Click(1);
    window.Combo_File->setEditText(QString());
    window.Command_Small_Big_Click(0);
    EXPECT_EQ(Mod_Varnox::Cur_bairitu, 1.0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PageCommands, FolderPickRecordsCurrentAndUnticksCheckEvenWithoutPictures)
{
    const QString empty = test::makeFolder(home.filePath(QStringLiteral("empty")));
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(empty, scratch);
    window.Combo_Path_Load();
    window.Check->setChecked(true);
    window.Combo_Path->setEditText(empty);
    window.Combo_Path_Click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(fileText(), QString());
    EXPECT_FALSE(window.Check->isChecked());
    QString current;
    Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent, settings(), current);
    EXPECT_EQ(current, empty);
    // The previous folder's page stays on screen.
    EXPECT_TRUE(pageWindowIfCreated(window)->subWindow()->isVisible());
}

TEST_F(PageCommands, AFolderNotInTheListIsRefusedButStillRecorded)
{
    window.Combo_Path->setEditText(QStringLiteral("/nowhere"));
    window.Combo_Path_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, kWrongFolder);
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Warning);
    EXPECT_EQ(fileText(), QString());
    QString current;
    Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent, settings(), current);
    EXPECT_EQ(current, QStringLiteral("/nowhere"));
}

TEST_F(PageCommands, AnUnreadablePictureIsReportedAndItsNameStays)
{
    QFile bad(folder + QStringLiteral("/b2.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is not a picture");
    bad.close();
    next(); // a.jpg -> b2.jpg
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].prompt.endsWith(QStringLiteral("Error No=481")))
        << ui.messages[0].prompt.toStdString();
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Stop);
    EXPECT_EQ(fileText(), QStringLiteral("b2.jpg"));
    EXPECT_FALSE(pageWindowIfCreated(window)->subWindow()->isVisible());
    next(); // the next good page shows again
    EXPECT_EQ(fileText(), QStringLiteral("C.GIF"));
    EXPECT_TRUE(pageWindowIfCreated(window)->subWindow()->isVisible());
}

// Names that differ only in their leading blanks name other pages, each shown by its name.
TEST_F(PageCommands, PagesWhoseNamesBeginWithABlankAreShownWhenTurnedToOrPicked)
{
    test::writePicture(folder + QStringLiteral("/ a.jpg"), 500, 250);
    test::writePicture(folder + QStringLiteral("/  a.jpg"), 250, 400);
    test::writePicture(folder + QStringLiteral("/ e5.jpg"), 250, 500);
    // Each page is told by its shape; d.jpeg is square.
    const QHash<QString, bool> upright{{QStringLiteral("a.jpg"), true},
                                       {QStringLiteral(" a.jpg"), false},
                                       {QStringLiteral("  a.jpg"), true},
                                       {QStringLiteral("C.GIF"), false},
                                       {QStringLiteral(" e5.jpg"), true}};
    const auto expectShown = [&](const QString& name) {
        EXPECT_EQ(fileText(), name);
        EXPECT_TRUE(pageWindowIfCreated(window)->subWindow()->isVisible()) << name.toStdString();
        if (upright.contains(name)) {
            EXPECT_EQ(pageSize().width() < pageSize().height(), upright.value(name))
                << name.toStdString();
        }
    };
    window.Combo_Path_Click();
    QStringList pages;
    for (int i = 0; i < window.Combo_File->count(); ++i)
        pages << window.Combo_File->itemText(i);
    ASSERT_EQ(pages.size(), 6);
    ASSERT_TRUE(pages.contains(QStringLiteral(" e5.jpg")));
    expectShown(pages.first());
    for (qsizetype i = 1; i < pages.size(); ++i) {
        next();
        expectShown(pages.at(i));
    }
    for (qsizetype i = pages.size() - 2; i >= 0; --i) {
        previous();
        expectShown(pages.at(i));
    }
    window.Combo_File->setCurrentIndex(static_cast<int>(pages.indexOf(QStringLiteral(" e5.jpg"))));
    window.Combo_File_Click();
    expectShown(QStringLiteral(" e5.jpg"));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().prompt.toStdString();
}

TEST_F(PageCommands, ALargeScanIsShownFitted)
{
    const QString scan = folder + QStringLiteral("/e.jpg");
    ASSERT_TRUE(test::writePicture(scan, 6000, 8000));
    window.Combo_File->setEditText(QStringLiteral("e.jpg"));
    window.Combo_File_Click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_LE(pageSize().height() * 15, Mod_Varnox::View_Height);
    EXPECT_FALSE(shownImage(*pageWindowIfCreated(window)->Image_Main()).isNull());
}

TEST_F(PageCommands, AViewAreaWithNoRoomNeitherHangsNorCrashes)
{
    // As left by a main window shrunk below the toolbar's height.
    Mod_Varnox::View_Width = 0;
    Mod_Varnox::View_Height = -40;
    next();
    EXPECT_EQ(fileText(), QStringLiteral("C.GIF"));
    EXPECT_GT(Mod_Varnox::Cur_base_bairitu, 0.0);
}

} // namespace
} // namespace folivo
