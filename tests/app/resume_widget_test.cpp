// Resuming and the next book on a real main window: a book reopens where it was left, after
// the program is started again too, and the next book opens as a drop of it would.
#include "app/main_window.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "settings/reading_options_testing.h"
#include "settings/resume.h"
#include "support/pictures.h"
#include "support/temp_home.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <memory>

namespace folivo {
namespace {

using ReadingOptions::Option;

class ResumeOnWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString& book : {QStringLiteral("vol1"), QStringLiteral("vol2")}) {
            const QString folder = test::makeFolder(home.filePath(book));
            for (int page = 1; page <= 9; ++page)
                test::writePicture(folder + QStringLiteral("/%1.jpg").arg(page), 300, 400);
        }
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(vol1(), scratch);
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                              home.filePath(QStringLiteral("Folivo.ini")), vol1());
    }
    QString vol1() const { return home.filePath(QStringLiteral("vol1")); }
    QString vol2() const { return home.filePath(QStringLiteral("vol2")); }
    /// A window as the start-up makes it, with no path on the command line.
    std::unique_ptr<MDIForm_Main> start()
    {
        auto window = std::make_unique<MDIForm_Main>();
        window->MDIForm_Load(QString());
        return window;
    }
    static void pick(MDIForm_Main& window, const QString& page)
    {
        window.comboFile().setText(page);
        window.Combo_File_Click();
    }

    test::TempHome home;
    test::RecordingUi ui;
    ReadingOptions::ScopedOption resume{Option::Resume, true};
};

TEST_F(ResumeOnWindow, ABookReopensAtItsPageAfterARestartAndThroughTheFolderBox)
{
    {
        auto window = start();
        ASSERT_EQ(window->Combo_File->currentText(), QStringLiteral("1.jpg"));
        pick(*window, QStringLiteral("7.jpg"));
        window->Command_Preview_PostView_Click(1);
        ASSERT_EQ(window->Combo_File->currentText(), QStringLiteral("8.jpg"));
        Resume::flush();
    }
    auto window = start();
    EXPECT_EQ(window->Combo_File->currentText(), QStringLiteral("8.jpg"));
    EXPECT_EQ(window->Combo_File->count(), 9) << "the file box lists the book's pages";

    window->Open_Target(vol2());
    EXPECT_EQ(window->Combo_File->currentText(), QStringLiteral("1.jpg"));
    pick(*window, QStringLiteral("3.jpg"));
    window->comboPath().setText(vol1());
    window->Combo_Path_Click();
    EXPECT_EQ(window->Combo_File->currentText(), QStringLiteral("8.jpg"));
    window->Open_Target(vol2());
    EXPECT_EQ(window->Combo_File->currentText(), QStringLiteral("3.jpg"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ResumeOnWindow, WithTheOptionOffEveryBookOpensAtItsFirstPage)
{
    ReadingOptions::ScopedOption off(Option::Resume, false);
    {
        auto window = start();
        pick(*window, QStringLiteral("7.jpg"));
    }
    auto window = start();
    EXPECT_EQ(window->Combo_File->currentText(), QStringLiteral("1.jpg"));
}

TEST_F(ResumeOnWindow, TheNextBookOpensAsADropWouldAndTheEndIsSaid)
{
    ReadingOptions::ScopedOption off(Option::Resume, false);
    auto window = start();
    window->openOtherBook(1);
    EXPECT_EQ(window->Combo_Path->currentText(), vol2());
    EXPECT_EQ(window->Combo_File->currentText(), QStringLiteral("1.jpg"));
    window->openOtherBook(1);
    ASSERT_EQ(ui.messages.size(), 1U);
    EXPECT_EQ(ui.messages[0].prompt, QStringLiteral("次の本はありません。"));
    EXPECT_EQ(window->Combo_Path->currentText(), vol2());
    window->openOtherBook(-1);
    EXPECT_EQ(window->Combo_Path->currentText(), vol1());
}

} // namespace
} // namespace folivo
