// The folder button: what the main window does after the folder registration window closes,
// and the start-up that asks for a folder when it has none.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/modal_testing.h"
#include "settings/folder_tree.h"
#include "settings/form_dir.h"
#include "settings/ini_file.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMdiSubWindow>
#include <QPushButton>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

class FolderButton : public ::testing::Test {
protected:
    void SetUp() override { window.show(); }
    void TearDown() override { setModalScript({}); }

    QString book(const QString& name)
    {
        const QString folder = test::makeFolder(home.filePath(name));
        test::writePicture(folder + QStringLiteral("/1.jpg"), 200, 300);
        test::writePicture(folder + QStringLiteral("/2.jpg"), 200, 300);
        return folder;
    }
    // Answers the folder window with one of its buttons, optionally after moving its tree.
    void answerFolderWindow(int button, const QString& openInTree = QString(),
                            const QString& typed = QString())
    {
        setModalScript([=, this](QDialog& dialog) {
            auto* folders = qobject_cast<Form_Dir*>(&dialog);
            ASSERT_NE(folders, nullptr);
            ++opened;
            if (!openInTree.isEmpty())
                folders->Dir()->setPath(openInTree);
            if (!typed.isNull())
                folders->Combo_Path()->setEditText(typed);
            folders->Command(button)->click();
        });
    }
    QStringList registered() const
    {
        QStringList items;
        for (int i = 0; i < window.Combo_Path->count(); ++i)
            items << window.Combo_Path->itemText(i);
        return items;
    }
    QString current() const
    {
        QString value;
        Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                             home.filePath(QStringLiteral("Folivo.ini")), value);
        return value;
    }

    TempHome home;
    RecordingUi ui;
    MDIForm_Main window;
    int opened = 0;
};

TEST_F(FolderButton, StartingWithNoPathAndNoCurrentAsksForAFolderAndOpensTheAddedOne)
{
    const QString folder = book(QStringLiteral("Vol1"));
    answerFolderWindow(1, folder);
    window.MDIForm_Load(QString());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(window.Combo_Path->currentText(), folder);
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("1.jpg"));
    EXPECT_EQ(registered(), QStringList{folder});
    EXPECT_EQ(current(), folder);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FolderButton, ClosingWithoutAChangeLeavesEverythingAsItWas)
{
    const QString folder = book(QStringLiteral("Vol1"));
    window.Open_Target(folder);
    window.Command_Small_Big_Click(1);
    answerFolderWindow(0);
    window.Command_GetFolder_Click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(window.Combo_Path->currentText(), folder);
    EXPECT_NEAR(Mod_Varnox::Cur_bairitu, 1.2, 1e-9); // no reload
    EXPECT_EQ(window.focusWidget(), window.Command_Preview_PostView[1]);
}

TEST_F(FolderButton, DeletingTheCurrentFolderEmptiesTheListsButKeepsThePage)
{
    const QString first = book(QStringLiteral("first"));
    const QString second = book(QStringLiteral("second"));
    window.Open_Target(second);
    window.Open_Target(first);
    answerFolderWindow(2, QString(), first);
    window.Command_GetFolder_Click();
    EXPECT_EQ(window.Combo_Path->currentText(), QString());
    EXPECT_EQ(window.Combo_File->currentText(), QString());
    EXPECT_EQ(window.Combo_File->count(), 0);
    EXPECT_EQ(registered(), QStringList{second});
    EXPECT_EQ(current(), QString());
    EXPECT_TRUE(pageWindowIfCreated(window)->subWindow()->isVisible());
}

TEST_F(FolderButton, AVanishedFolderIsCutBackAndTheAncestorOpensAfterClose)
{
    const QString books = book(QStringLiteral("Books"));
    const QString gone = books + QStringLiteral("/Vol1/Sub");
    test::makeFolder(gone);
    test::writePicture(gone + QStringLiteral("/x.jpg"), 100, 100);
    answerFolderWindow(0);
    window.Open_Target(books); // it has a subfolder: the folder window is offered and closed
    window.Open_Target(gone);
    QDir(books + QStringLiteral("/Vol1")).removeRecursively();
    ui.messages.clear();

    window.Command_GetFolder_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt,
              QStringLiteral("そのフォルダは既に削除されてしまったようです。\r\r【") + gone +
                  QStringLiteral("】"));
    EXPECT_EQ(window.Combo_Path->currentText(), books);
    EXPECT_EQ(current(), books);
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("1.jpg"));
}

} // namespace
} // namespace folivo
