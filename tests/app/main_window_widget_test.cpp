#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "help/help_window.h"
#include "picture/picture_loader.h"
#include "platform/install_folder.h"
#include "settings/ini_file.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "support/zip_writer.h"
#include "view/image_control.h"
#include "view/image_control_testing.h"
#include "view/page_prefetch_testing.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using test::ProgramEnded;
using test::RecordingUi;
using test::TempHome;

// 96 DPI on the test screen: 15 twips per pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

TEST(MainWindowLayout, ToolbarControlsSitAtTheirPlacesWithTheirCaptions)
{
    MDIForm_Main window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Folivo"));
    EXPECT_EQ(window.Toolbar_Main->height(), 26);

    struct Expected {
        QWidget* widget;
        QString caption;
        QRect place;
    };
    const Expected controls[] = {
        {window.Command_Setting, QStringLiteral("設定"), twips(30, 60, 495, 255)},
        {window.Command_Preview_PostView[0], QStringLiteral("前 <="), twips(600, 30, 1095, 315)},
        {window.Command_Preview_PostView[1], QStringLiteral("次=>"), twips(1710, 30, 1095, 315)},
        {window.Command_Small_Big[0], QStringLiteral("縮小←"), twips(2910, 30, 735, 315)},
        {window.Command_Small_Big[1], QStringLiteral("拡大→"), twips(3660, 30, 735, 315)},
        {window.Check, QStringLiteral("倍率固定"), twips(4410, 75, 1035, 195)},
        {window.Command_GetFolder, QStringLiteral("フォルダ"), twips(5730, 30, 945, 315)},
        {window.Combo_Path, QString(), twips(6720, 45, 5325, 300)},
        {window.Combo_File, QString(), twips(12135, 45, 2715, 300)},
    };
    for (const Expected& control : controls) {
        EXPECT_EQ(control.widget->geometry(), control.place) << control.caption.toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(control.widget)) {
            EXPECT_EQ(button->text(), control.caption);
        }
    }
    EXPECT_TRUE(window.Combo_Path->isEditable());
    EXPECT_TRUE(window.Combo_File->isEditable());
    EXPECT_DOUBLE_EQ(window.Command_Preview_PostView[1]->font().pointSizeF(), 12.0);
    EXPECT_DOUBLE_EQ(window.Command_Small_Big[0]->font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(window.Command_Setting->font().pointSizeF(), 8.25);
    EXPECT_EQ(window.Check->checkState(), Qt::Unchecked);
}

TEST(MainWindowLayout, TabOrderStartsAtNextAndWalksTheToolbar)
{
    MDIForm_Main window;
    const QWidget* expected[] = {window.Command_Preview_PostView[1],
                                 window.Command_Small_Big[0],
                                 window.Command_Small_Big[1],
                                 window.Check,
                                 window.Command_GetFolder,
                                 window.Combo_Path,
                                 window.Combo_File,
                                 window.Command_Setting,
                                 window.Command_Preview_PostView[0]};
    for (size_t i = 0; i + 1 < std::size(expected); ++i) {
        // Skip what Tab never stops at, and a combo box's own line edit.
        const QWidget* next = expected[i]->nextInFocusChain();
        while (next != expected[i] &&
               (!(next->focusPolicy() & Qt::TabFocus) || next->parentWidget() == expected[i]))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
}

TEST(MainWindowResize, ViewAreaFollowsTheOuterSize)
{
    MDIForm_Main window;
    window.show();
    window.resize(9000 / 15, 6000 / 15);
    QCoreApplication::processEvents();
    EXPECT_EQ(Mod_Varnox::View_Width, 8873);
    EXPECT_EQ(Mod_Varnox::View_Height, 5183);
}

class StartUp : public ::testing::Test {
protected:
    TempHome home;
    RecordingUi ui;

    QString writeBook(const QString& name)
    {
        const QString folder = test::makeFolder(home.filePath(name));
        test::writePicture(folder + QStringLiteral("/p1.jpg"), 300, 400);
        test::writePicture(folder + QStringLiteral("/p2.jpg"), 400, 300);
        return folder;
    }
};

TEST_F(StartUp, PlacesTheWindowAcrossTheScreenAndShowsHelpOnTheRightHalf)
{
    const QString folder = writeBook(QStringLiteral("book"));
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(folder, scratch);
    Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                          home.filePath(QStringLiteral("Folivo.ini")), folder);

    MDIForm_Main window;
    window.MDIForm_Load(QString());
    // Screen 1920 × 1080 pixels: the window is 400 twips (27 pixels) less high.
    EXPECT_EQ(window.frameGeometry(), QRect(0, 0, 1920, 1080 - 27));
    EXPECT_EQ(Mod_Varnox::View_Width, 1920 * 15 - 127);
    EXPECT_EQ(Mod_Varnox::View_Height, (1080 - 27) * 15 - 817);
    ASSERT_NE(helpWindow(window), nullptr);
    EXPECT_EQ(helpWindow(window)->parentWidget()->pos(), QPoint(960, 0));
}

TEST_F(StartUp, WithoutPathReopensTheCurrentFolderAtItsFirstPage)
{
    const QString folder = writeBook(QStringLiteral("book"));
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(folder, scratch);
    Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                          home.filePath(QStringLiteral("Folivo.ini")), folder);

    for (const QString& line :
         {QString(), QStringLiteral("  "), QStringLiteral("\"\""), QStringLiteral("\"")}) {
        MDIForm_Main window;
        window.MDIForm_Load(line);
        EXPECT_EQ(window.Combo_Path->currentText(), folder);
        EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("p1.jpg"));
        ASSERT_NE(pageWindowIfCreated(window), nullptr);
        EXPECT_TRUE(pageWindowIfCreated(window)->subWindow()->isVisible());
        EXPECT_EQ(pageWindowIfCreated(window)->subWindow()->pos(), QPoint(0, 0));
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StartUp, AFolderOnTheCommandLineShowsItsFirstPageDecodedWhileTheWindowWasBuilt)
{
    const QString folder = writeBook(QStringLiteral("book"));
    MDIForm_Main window(
        MDIForm_Main::startReadingAhead(QLatin1Char('"') + folder + QLatin1Char('"')));
    window.MDIForm_Load(folder);
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("p1.jpg"));
    const ImageControl* image = pageWindowIfCreated(window)->Image_Main();
    EXPECT_EQ(preparedDrawn(*image), 1);
    EXPECT_EQ(shownImage(*image),
              loadPicture(folder + QStringLiteral("/p1.jpg"), PictureFormats::Classic)
                  .render(shownImage(*image).size()));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StartUp, AFirstPageRewrittenWhileTheWindowWasBuiltIsShownAsItIsNow)
{
    const QString folder = writeBook(QStringLiteral("book"));
    std::unique_ptr<PagePrefetch> ahead = MDIForm_Main::startReadingAhead(folder);
    waitUntilIdle(*ahead);
    test::writePicture(folder + QStringLiteral("/p1.jpg"), 500, 200);
    MDIForm_Main window(std::move(ahead));
    window.MDIForm_Load(folder);
    const ImageControl* image = pageWindowIfCreated(window)->Image_Main();
    EXPECT_EQ(preparedDrawn(*image), 0);
    EXPECT_GT(shownImage(*image).width(), shownImage(*image).height());
    EXPECT_EQ(shownImage(*image),
              loadPicture(folder + QStringLiteral("/p1.jpg"), PictureFormats::Classic)
                  .render(shownImage(*image).size()));
    EXPECT_TRUE(ui.messages.empty());
}

// The archive starts unpacking before the window is built, its first page is decoded while
// the rest unpacks, and the window's open takes both over: the page shown is the listing's
// first, drawn from the pixels prepared for it, as it would be drawn from the file.
TEST_F(StartUp, AnArchiveOnTheCommandLineUnpacksWhileTheWindowIsBuilt)
{
    test::ZipWriter zip;
    zip.addFile("p10.jpg", test::jpegBytes(300, 400, Qt::darkRed));
    zip.addFile("p2.jpg", test::jpegBytes(400, 300, Qt::darkBlue),
                test::ZipWriter::Method::Deflated);
    zip.addFile("p01.jpg", test::jpegBytes(320, 420, Qt::darkYellow));
    const QString archive = home.filePath(QStringLiteral("book.zip"));
    ASSERT_TRUE(zip.write(archive));

    MDIForm_Main window(MDIForm_Main::startReadingAhead(archive));
    window.MDIForm_Load(archive);
    EXPECT_EQ(window.Combo_Path->currentText(), tmpFolderPath());
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("p01.jpg"));
    const ImageControl* image = pageWindowIfCreated(window)->Image_Main();
    EXPECT_EQ(preparedDrawn(*image), 1);
    EXPECT_EQ(shownImage(*image),
              loadPicture(tmpFolderPath() + QStringLiteral("/p01.jpg"), PictureFormats::Classic)
                  .render(shownImage(*image).size()));

    // Opened later, with the page window there, it is prepared the same way. The unpacking
    // goes on after the first page is out, as in a real book: the page is then prepared while
    // the rest unpacks, however late its worker starts on a loaded machine.
    test::ZipWriter next;
    next.addFile("b.jpg", test::jpegBytes(500, 300, Qt::darkGreen));
    next.addFile("a.jpg", test::jpegBytes(300, 500, Qt::darkMagenta));
    next.addFile("notes.txt", QByteArray(16 << 20, 'n'));
    const QString nextArchive = home.filePath(QStringLiteral("next.zip"));
    ASSERT_TRUE(next.write(nextArchive));
    EXPECT_EQ(window.Open_Target(nextArchive), OpenKind::Zip);
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("a.jpg"));
    // The page shows as soon as it is out: on a slow machine its turn may come before the
    // worker has drawn it, and draws it itself.
    EXPECT_GE(preparedDrawn(*image), 1);
    EXPECT_EQ(shownImage(*image),
              loadPicture(tmpFolderPath() + QStringLiteral("/a.jpg"), PictureFormats::Classic)
                  .render(shownImage(*image).size()));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StartUp, ClosingTheMainWindowEndsTheProgramWithStatusZero)
{
    MDIForm_Main window;
    window.show();
    try {
        window.close();
        FAIL() << "closing did not end the program";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.status, 0);
    }
}

} // namespace
} // namespace folivo
