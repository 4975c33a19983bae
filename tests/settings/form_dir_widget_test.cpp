#include "settings/form_dir.h"

#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/combo_box.h"
#include "platform/error.h"
#include "platform/install_folder.h"
#include "platform/modal.h"
#include "platform/modal_testing.h"
#include "platform/screen.h"
#include "platform/ui_services.h"
#include "settings/drive_list.h"
#include "settings/folder_tree.h"
#include "settings/form_dir_testing.h"
#include "settings/ini_file.h"
#include "support/temp_home.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using test::ListComboBox;
using test::RecordingUi;
using test::TempHome;

class FormDirTest : public ::testing::Test {
protected:
    ~FormDirTest() override { setModalScript({}); }

    QString folder(const QString& relative)
    {
        const QString path = QDir(m_folders.path()).filePath(relative);
        QDir().mkpath(path);
        return path;
    }
    QString missing(const QString& relative) const
    {
        return QDir(m_folders.path()).filePath(relative);
    }
    static void touch(const QString& path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    static void writeSlots(const QStringList& values)
    {
        for (int i = 0; i < values.size(); ++i) {
            Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::slotKey(i),
                                  settingsFilePath(), values.at(i));
        }
    }
    static QStringList items(const QComboBox* box)
    {
        QStringList result;
        for (int i = 0; i < box->count(); ++i)
            result.append(box->itemText(i));
        return result;
    }
    QString settingsLine(const QString& key) const
    {
        const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(key),
                                      QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = line.match(m_home.settingsText());
        return match.hasMatch() ? match.captured(1) : QStringLiteral("<missing>");
    }

    TempHome m_home;
    RecordingUi m_ui;
    QTemporaryDir m_folders;
};

TEST_F(FormDirTest, LayoutFollowsTheTwipsTableAtFifteenTwipsPerPixel)
{
    ListComboBox main;
    Form_Dir dialog(main);

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("対象フォルダ登録"));
    EXPECT_EQ(dialog.size(), QSize(680, 454));
    EXPECT_EQ(dialog.Command(0)->text(), QStringLiteral("終了"));
    EXPECT_EQ(dialog.Command(1)->text(), QStringLiteral("追加"));
    EXPECT_EQ(dialog.Command(2)->text(), QStringLiteral("削除"));
    EXPECT_EQ(dialog.Label1()->text(), QStringLiteral("登録済みフォルダ"));
    EXPECT_EQ(dialog.Label1()->palette().color(QPalette::Window), QColor(192, 192, 255));
    EXPECT_EQ(dialog.Label1()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_DOUBLE_EQ(dialog.Label1()->font().pointSizeF(), 11.25);
    EXPECT_DOUBLE_EQ(dialog.Dir()->font().pointSizeF(), 12.0);

    const struct {
        QWidget* widget;
        QRect twips;
    } table[] = {
        {dialog.Drive(), {210, 330, 4275, 360}},       {dialog.Dir(), {210, 810, 6675, 3330}},
        {dialog.Command(1), {8730, 4200, 1185, 375}},  {dialog.Command(0), {8730, 6300, 1185, 375}},
        {dialog.Combo_Path(), {210, 5040, 9675, 300}}, {dialog.Command(2), {8730, 5400, 1185, 375}},
        {dialog.Label1(), {210, 4710, 1755, 285}},     {dialog.File(), {7080, 810, 2805, 3330}},
    };
    for (const auto& row : table) {
        const QRect expected(row.twips.x() / 15, row.twips.y() / 15, row.twips.width() / 15,
                             row.twips.height() / 15);
        EXPECT_EQ(row.widget->geometry(), expected) << row.widget->objectName().toStdString();
    }

    // Tab order: drive list, tree, Add, Close, folder box, Delete, file list. The focus
    // chain also runs through the controls' inner widgets (viewports, line edits): skip those.
    const QList<const QWidget*> order{dialog.Drive(),    dialog.Dir(),        dialog.Command(1),
                                      dialog.Command(0), dialog.Combo_Path(), dialog.Command(2),
                                      dialog.File()};
    QList<const QWidget*> chain{dialog.Drive()};
    for (const QWidget* w = dialog.Drive()->nextInFocusChain(); w != dialog.Drive();
         w = w->nextInFocusChain()) {
        if (order.contains(w))
            chain.append(w);
    }
    EXPECT_EQ(chain, order);
}

// A real QComboBox and the plain list must behave alike as the main window's folder box.
class VanishedFolderTest : public FormDirTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VanishedFolderTest, WarnsOnceAndCutsTheMainFolderBackToTheNearestExistingParent)
{
    const QString books = folder(QStringLiteral("Books"));
    const QString sub = missing(QStringLiteral("Books/Vol1/Sub"));
    QComboBox box;
    box.setEditable(true);
    QtComboBox qtMain(&box);
    ListComboBox listMain;
    ComboBox& main = GetParam() ? static_cast<ComboBox&>(qtMain) : listMain;
    main.setText(sub);

    Form_Dir dialog(main);

    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(m_ui.messages[0].prompt,
              QStringLiteral("そのフォルダは既に削除されてしまったようです。\r\r【") + sub +
                  QStringLiteral("】"));
    EXPECT_EQ(m_ui.messages[0].style, MessageStyle::Warning);
    EXPECT_EQ(m_ui.messages[0].title, QStringLiteral("Folivo"));
    EXPECT_EQ(dirPath(dialog), books);
    EXPECT_EQ(main.text(), books);
}

INSTANTIATE_TEST_SUITE_P(MainFolderBox, VanishedFolderTest, ::testing::Bool());

TEST_F(FormDirTest, VanishedFolderRightUnderTheRootCutsBackToTheRoot)
{
    ListComboBox main({}, QStringLiteral("/folivo-no-such-folder-7c1e"));
    Form_Dir dialog(main);

    EXPECT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(dirPath(dialog), QStringLiteral("/"));
    EXPECT_EQ(main.text(), QStringLiteral("/"));
}

TEST_F(FormDirTest, NoMainFolderShowsTheCurrentFolderWithoutAMessage)
{
    ListComboBox main({}, QStringLiteral("  "));
    Form_Dir dialog(main);

    EXPECT_TRUE(m_ui.messages.empty());
    EXPECT_EQ(dirPath(dialog), QDir::currentPath());
    EXPECT_EQ(main.text(), QStringLiteral("  "));
}

TEST_F(FormDirTest, ListShowsTheSlotsUpToTheFirstGap)
{
    writeSlots({QStringLiteral(" /books/a "), QString(), QStringLiteral("/books/c")});
    ListComboBox main;
    Form_Dir dialog(main);

    EXPECT_EQ(items(dialog.Combo_Path()), QStringList{QStringLiteral("/books/a")});
    EXPECT_EQ(dialog.Combo_Path()->currentText(), QString());
}

TEST_F(FormDirTest, AddOfARegisteredFolderLeavesTheFileAndSwitchesTheMainFolder)
{
    const QString a = folder(QStringLiteral("A"));
    const QString other = folder(QStringLiteral("Other"));
    writeSlots({a});
    const QString before = m_home.settingsText();
    ListComboBox main({a}, other);

    bool ran = false;
    setModalScript([&](QDialog& shown) {
        auto& form = static_cast<Form_Dir&>(shown);
        EXPECT_EQ(dirPath(form), other);
        form.Dir()->setPath(a);
        form.Command(1)->click();
        EXPECT_FALSE(form.isVisible());
        ran = true;
    });
    Form_Dir dialog(main);
    showModal(dialog);

    EXPECT_TRUE(ran);
    EXPECT_EQ(m_home.settingsText(), before);
    EXPECT_EQ(main.text(), a);
}

TEST_F(FormDirTest, AddRegistersTheFolderOpenInTheTreeNotTheHighlightedOne)
{
    const QString a = folder(QStringLiteral("A"));
    folder(QStringLiteral("A/Inner"));
    ListComboBox main({}, a);
    Form_Dir dialog(main);
    // Highlighting a subfolder does not open it.
    dialog.Dir()->setCurrentItem(dialog.Dir()->currentItem()->child(0));

    dialog.Command_Click(1);

    EXPECT_EQ(settingsLine(QStringLiteral("000")), a);
    EXPECT_EQ(main.text(), a);
}

TEST_F(FormDirTest, DeleteWithNothingPickedRewritesTheSlotsAndEmptiesCurrent)
{
    writeSlots({QStringLiteral("/books/a"), QStringLiteral("/books/b")});
    ListComboBox main;
    Form_Dir dialog(main);

    dialog.Command_Click(2);

    EXPECT_EQ(settingsLine(QStringLiteral("000")), QStringLiteral("/books/a"));
    EXPECT_EQ(settingsLine(QStringLiteral("001")), QStringLiteral("/books/b"));
    EXPECT_EQ(settingsLine(QStringLiteral("Current")), QString());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FormDirTest, DeleteOfTheMainFolderEmptiesItAndCurrent)
{
    const QString b = folder(QStringLiteral("B"));
    writeSlots({QStringLiteral("/books/a"), b});
    Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent, settingsFilePath(),
                          b);
    ListComboBox main({QStringLiteral("/books/a"), b}, b);

    setModalScript([&](QDialog& shown) {
        auto& form = static_cast<Form_Dir&>(shown);
        form.Combo_Path()->setCurrentIndex(1);
        form.Command(2)->click();
    });
    Form_Dir dialog(main);
    showModal(dialog);

    EXPECT_EQ(main.text(), QString());
    EXPECT_EQ(settingsLine(QStringLiteral("Current")), QString());
    EXPECT_EQ(settingsLine(QStringLiteral("000")), QStringLiteral("/books/a"));
    EXPECT_EQ(settingsLine(QStringLiteral("001")), QString());
}

TEST_F(FormDirTest, TypingInTheFolderBoxNeverAddsToTheRegisteredList)
{
    writeSlots({QStringLiteral("/books/a")});
    ListComboBox main;
    Form_Dir dialog(main);
    dialog.Combo_Path()->setEditText(QStringLiteral("/typed"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.Combo_Path()->lineEdit(), &enter);
    dialog.Command_Click(2);

    EXPECT_EQ(settingsLine(QStringLiteral("000")), QStringLiteral("/books/a"));
    EXPECT_EQ(settingsLine(QStringLiteral("001")), QStringLiteral("<missing>"));
}

TEST_F(FormDirTest, TypedTextIsNeverCompletedSoDeleteRemovesOnlyWhatWasTyped)
{
    writeSlots({QStringLiteral("/books/Alpha"), QStringLiteral("/books/beta")});
    ListComboBox main;
    Form_Dir dialog(main);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QComboBox* box = dialog.Combo_Path();
    box->setFocus();
    ASSERT_TRUE(box->hasFocus());

    QTest::keyClicks(box, QStringLiteral("/books/a"));
    EXPECT_EQ(box->currentText(), QStringLiteral("/books/a"));
    QTest::keyClicks(box, QStringLiteral("lpha"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->currentText(), QStringLiteral("/books/alpha"));
    dialog.Command(0)->setFocus(); // the user moves on to a button
    EXPECT_EQ(box->currentText(), QStringLiteral("/books/alpha"));
    dialog.Command_Click(2);

    EXPECT_EQ(settingsLine(QStringLiteral("000")), QStringLiteral("/books/Alpha"));
    EXPECT_EQ(settingsLine(QStringLiteral("001")), QStringLiteral("/books/beta"));
}

TEST_F(FormDirTest, TreeShowsSubfoldersAndTheFileListTheVisibleFiles)
{
    const QString root = folder(QStringLiteral("Root"));
    folder(QStringLiteral("Root/sub2"));
    folder(QStringLiteral("Root/sub10"));
    touch(root + QStringLiteral("/page2.jpg"));
    touch(root + QStringLiteral("/page10.jpg"));
    touch(root + QStringLiteral("/.hidden"));
    ListComboBox main({}, root);
    Form_Dir dialog(main);

    const QTreeWidgetItem* open = dialog.Dir()->currentItem();
    ASSERT_EQ(open->childCount(), 2);
    EXPECT_EQ(open->child(0)->text(0), QStringLiteral("sub2"));
    EXPECT_EQ(open->child(1)->text(0), QStringLiteral("sub10"));
    EXPECT_EQ(dialog.Dir()->topLevelItem(0)->text(0), QStringLiteral("/"));
    ASSERT_EQ(dialog.File()->count(), 2);
    EXPECT_EQ(dialog.File()->item(0)->text(), QStringLiteral("page2.jpg"));
    EXPECT_EQ(dialog.File()->item(1)->text(), QStringLiteral("page10.jpg"));

    // Opening a subfolder moves the file list along; a missing folder fails and moves nothing.
    dialog.Dir()->setPath(root + QStringLiteral("/sub2"));
    EXPECT_EQ(dialog.File()->count(), 0);
    try {
        dialog.Dir()->setPath(missing(QStringLiteral("Root/gone")));
        ADD_FAILURE() << "a missing folder was opened";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), ErrorNumber::PathNotFound);
    }
    EXPECT_EQ(dirPath(dialog), root + QStringLiteral("/sub2"));
}

TEST_F(FormDirTest, DropOpensAFolderAndMovesTheDriveListToADroppedFile)
{
    const QString start = folder(QStringLiteral("Start"));
    const QString volume = folder(QStringLiteral("Volume"));
    const QString target = folder(QStringLiteral("Volume/Target"));
    const QString file = start + QStringLiteral("/file.jpg");
    touch(file);
    ListComboBox main({}, start);
    Form_Dir dialog(main);
    dialog.Drive()->setDrives({volume});
    QMimeData droppedFile;
    droppedFile.setUrls({QUrl::fromLocalFile(file)});

    // A file on the tree's own drive moves nothing.
    dialog.Dir_OLEDragDrop(droppedFile);
    EXPECT_EQ(dirPath(dialog), start);

    // Only the first entry counts; the drive list follows the folder, the tree stays in it.
    QMimeData folders;
    folders.setUrls({QUrl::fromLocalFile(target), QUrl::fromLocalFile(start)});
    dialog.Dir_OLEDragDrop(folders);
    EXPECT_EQ(dirPath(dialog), target);
    EXPECT_EQ(dialog.Drive()->drive(), volume);

    // A file on another drive opens that drive.
    dialog.Dir_OLEDragDrop(droppedFile);
    EXPECT_EQ(dialog.Drive()->drive(), QStringLiteral("/"));
    EXPECT_EQ(dirPath(dialog), QStringLiteral("/"));
    EXPECT_TRUE(m_ui.messages.empty());
}

TEST_F(FormDirTest, DriveChangeOpensTheDriveAndFallsBackSilentlyWhenItIsGone)
{
    const QString volume = folder(QStringLiteral("Volume"));
    const QString inner = folder(QStringLiteral("Volume/Inner"));
    const QString gone = missing(QStringLiteral("Unmounted"));
    ListComboBox main({}, inner);
    Form_Dir dialog(main);
    dialog.Drive()->setDrives({volume, gone});
    dialog.Drive()->setDriveQuietly(inner);

    dialog.Drive()->setDrive(QStringLiteral("/"));
    EXPECT_EQ(dirPath(dialog), QStringLiteral("/"));

    dialog.Drive()->setDrive(volume);
    EXPECT_EQ(dirPath(dialog), volume);

    dialog.Drive()->setDrive(gone);
    EXPECT_EQ(dirPath(dialog), volume);
    EXPECT_EQ(dialog.Drive()->drive(), volume);
    EXPECT_TRUE(m_ui.messages.empty());
}

} // namespace
} // namespace folivo
