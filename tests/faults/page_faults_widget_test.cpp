// Pages that change on disk while the book is open: removed or cut short after the file list
// was made. The page display tells the user and the reader goes on; nothing crashes.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/ui_services.h"
#include "settings/ini_file.h"
#include "support/file_tree.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/page_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>

#include <gtest/gtest.h>

#include <cstdlib>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

class PageFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::makeFolder(home.filePath(QStringLiteral("book")));
        for (const char* name : {"a.jpg", "b.jpg", "c.bmp", "d.gif", "e.jpg"})
            ASSERT_TRUE(test::writePicture(page(QLatin1String(name)), 300, 400));
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(folder, scratch);
        window.show();
        window.Open_Target(folder);
        ASSERT_EQ(fileText(), QStringLiteral("a.jpg"));
        ASSERT_TRUE(ui.messages.empty());
    }

    QString page(const QString& name) const { return folder + QLatin1Char('/') + name; }
    QString fileText() const { return window.Combo_File->currentText(); }
    bool pageShown() const { return pageWindowIfCreated(window)->subWindow()->isVisible(); }
    void next() { window.Command_Preview_PostView_Click(1); }
    // What the user does with the file list made when the book was opened.
    void pick(const QString& name)
    {
        window.Combo_File->setEditText(name);
        window.Combo_File_Click();
    }
    // keep < 0 cuts that many bytes off the end.
    void cut(const QString& name, qsizetype keep)
    {
        const QByteArray bytes = test::readFile(page(name));
        ASSERT_GT(bytes.size(), std::abs(keep));
        ASSERT_TRUE(
            test::writeFile(page(name), keep < 0 ? bytes.chopped(-keep) : bytes.left(keep)));
    }

    TempHome home;
    RecordingUi ui;
    MDIForm_Main window;
    QString folder;
};

TEST_F(PageFaults, APageRemovedAfterListingIsReportedWhenPickedAndSkippedWhenStepping)
{
    ASSERT_TRUE(QFile::remove(page(QStringLiteral("b.jpg"))));
    pick(QStringLiteral("b.jpg"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, QStringLiteral("File not foundError No=53"));
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Stop);
    EXPECT_FALSE(pageShown());

    pick(QStringLiteral("a.jpg"));
    EXPECT_TRUE(pageShown());
    // Stepping follows the folder as it is now, not the list made earlier.
    next();
    EXPECT_EQ(fileText(), QStringLiteral("c.bmp"));
    EXPECT_TRUE(pageShown());
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(PageFaults, AFolderRemovedWhileOpenIsReportedAndTheReaderGoesOn)
{
    for (const QString& name : test::fileTree(folder))
        ASSERT_TRUE(QFile::remove(page(name)));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_FALSE(QFileInfo::exists(folder));
    next();
    EXPECT_FALSE(ui.messages.empty());
    for (const test::RecordedMessage& message : ui.messages)
        EXPECT_NE(message.style, 0);

    // The folder comes back: the reader picks up where the user asks.
    test::makeFolder(folder);
    ASSERT_TRUE(test::writePicture(page(QStringLiteral("a.jpg")), 300, 400));
    pick(QStringLiteral("a.jpg"));
    EXPECT_TRUE(pageShown());
}

struct CutCase {
    const char* name;
    const char* page;
    qsizetype keep; // bytes left of the page; below 0, bytes cut off its end
    bool shown;     // drawn as far as it goes, or refused as an invalid picture
};

class CutPages : public PageFaults, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutPages, AreDrawnAsFarAsTheyGoOrReportedAndTheNextPageStillShows)
{
    const CutCase& c = GetParam();
    cut(QLatin1String(c.page), c.keep);
    pick(QLatin1String(c.page));
    if (c.shown) {
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_TRUE(pageShown());
    } else {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].prompt, QStringLiteral("Invalid pictureError No=481"));
        EXPECT_FALSE(pageShown());
    }
    EXPECT_EQ(fileText(), QLatin1String(c.page));

    next();
    EXPECT_TRUE(pageShown());
    EXPECT_NE(fileText(), QLatin1String(c.page));
}

INSTANTIATE_TEST_SUITE_P(Pages, CutPages,
                         ::testing::Values(CutCase{"JpegEndMissing", "b.jpg", -200, true},
                                           CutCase{"JpegHeaderOnly", "b.jpg", 20, false},
                                           CutCase{"BmpPixelsMissing", "c.bmp", -1000, true},
                                           CutCase{"BmpHeaderCut", "c.bmp", 20, false},
                                           CutCase{"GifHeaderOnly", "d.gif", 13, false},
                                           CutCase{"Empty", "b.jpg", 0, false}),
                         [](const ::testing::TestParamInfo<CutCase>& param) {
                             return param.param.name;
                         });

} // namespace
} // namespace folivo
