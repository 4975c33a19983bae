// The folder and file boxes of the toolbar, driven with real wheel and key events: only a
// real pick acts, and it acts on the entry next to the one shown.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/recording_ui.h"
#include "platform/install_folder.h"
#include "settings/ini_file.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/page_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

// Turns the wheel over the middle of a widget: one notch down for +1, up for -1.
void turnWheel(QWidget* target, int notches)
{
    const QPointF centre = QRectF(target->rect()).center();
    QWheelEvent event(centre, target->mapToGlobal(centre), QPoint(), QPoint(0, -120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

class ComboPick : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The book is the third registered folder, so that a box still pointing at its
        // first entry would open another folder.
        first = book(QStringLiteral("first"));
        second = book(QStringLiteral("second"));
        folder = book(QStringLiteral("book"));
        test::writePicture(folder + QStringLiteral("/C.GIF"), 400, 300);
        test::writePicture(folder + QStringLiteral("/d.jpeg"), 200, 200);
        const QStringList folders{first, second, folder};
        for (int i = 0; i < folders.size(); ++i) {
            Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::slotKey(i),
                                  settingsFilePath(), folders.at(i));
        }
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                              settingsFilePath(), folder);
        window.MDIForm_Load(QString());
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_EQ(pathText(), folder);
        ASSERT_EQ(fileText(), QStringLiteral("a.jpg"));
        ui.messages.clear();
    }

    QString book(const QString& name)
    {
        const QString path = test::makeFolder(home.filePath(name));
        test::writePicture(path + QStringLiteral("/a.jpg"), 300, 400);
        return path;
    }
    QString pathText() const { return window.Combo_Path->currentText(); }
    QString fileText() const { return window.Combo_File->currentText(); }
    QSize pageSize() const { return pageWindowIfCreated(window)->subWindow()->size(); }
    QString current() const
    {
        QString value;
        Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                             settingsFilePath(), value);
        return value;
    }
    // Every pick hands the focus back to the next button; the user clicks into the box again.
    void focus(QComboBox* box)
    {
        box->setFocus();
        ASSERT_TRUE(box->hasFocus());
    }

    TempHome home;
    RecordingUi ui;
    QString first;
    QString second;
    QString folder;
    MDIForm_Main window;
};

TEST_F(ComboPick, AWheelOverABoxWithoutTheFocusDoesNothing)
{
    window.Command_Preview_PostView_Click(1);
    window.Command_Preview_PostView_Click(1);
    ASSERT_EQ(fileText(), QStringLiteral("d.jpeg"));
    window.Check->setChecked(true);
    const QSize page = pageSize();
    ASSERT_FALSE(window.Combo_File->hasFocus());
    ASSERT_FALSE(window.Combo_Path->hasFocus());

    turnWheel(window.Combo_File, 1);
    turnWheel(window.Combo_File, -1);
    turnWheel(window.Combo_Path, 1);
    turnWheel(window.Combo_Path, -1);

    EXPECT_EQ(fileText(), QStringLiteral("d.jpeg"));
    EXPECT_EQ(pageSize(), page);
    EXPECT_EQ(pathText(), folder);
    EXPECT_EQ(current(), folder);
    EXPECT_TRUE(window.Check->isChecked());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ComboPick, WithTheFocusKeysAndWheelStepFromTheEntryShown)
{
    window.Command_Preview_PostView_Click(1);
    ASSERT_EQ(fileText(), QStringLiteral("C.GIF"));

    focus(window.Combo_File);
    QTest::keyClick(window.Combo_File, Qt::Key_Down);
    EXPECT_EQ(fileText(), QStringLiteral("d.jpeg"));
    EXPECT_EQ(pageSize().width(), pageSize().height()); // d.jpeg is square, so it is on screen
    focus(window.Combo_File);
    QTest::keyClick(window.Combo_File, Qt::Key_PageUp);
    EXPECT_EQ(fileText(), QStringLiteral("C.GIF"));
    focus(window.Combo_File);
    turnWheel(window.Combo_File, -1);
    EXPECT_EQ(fileText(), QStringLiteral("a.jpg"));
    focus(window.Combo_File);
    QTest::keyClick(window.Combo_File, Qt::Key_Up); // nothing before the first entry
    EXPECT_EQ(fileText(), QStringLiteral("a.jpg"));
    EXPECT_TRUE(ui.messages.empty());

    // The folder box steps from the folder shown, the last registered one, to the one before.
    window.Check->setChecked(true);
    focus(window.Combo_Path);
    QTest::keyClick(window.Combo_Path, Qt::Key_Up);
    EXPECT_EQ(pathText(), second);
    EXPECT_EQ(current(), second);
    EXPECT_FALSE(window.Check->isChecked());
    focus(window.Combo_Path);
    QTest::keyClick(window.Combo_Path, Qt::Key_PageDown);
    EXPECT_EQ(pathText(), folder);
    EXPECT_EQ(current(), folder);
}

TEST_F(ComboPick, TypedTextIsKeptAsTypedAndEnterPicksNoOtherEntry)
{
    const QSize page = pageSize();
    focus(window.Combo_File);
    window.Combo_File->lineEdit()->clear();
    QTest::keyClicks(window.Combo_File, QStringLiteral("c.gif"));
    EXPECT_EQ(fileText(), QStringLiteral("c.gif"));
    EXPECT_EQ(window.Combo_File->currentIndex(), -1);
    QTest::keyClick(window.Combo_File, Qt::Key_Return);
    EXPECT_EQ(fileText(), QStringLiteral("c.gif"));
    EXPECT_EQ(pageSize(), page);
    EXPECT_EQ(window.Combo_File->count(), 3); // nothing was added to the list

    // Down from a text that is no entry goes to the first entry, not to one left behind.
    QTest::keyClick(window.Combo_File, Qt::Key_Down);
    EXPECT_EQ(fileText(), QStringLiteral("a.jpg"));

    window.Check->setChecked(true);
    focus(window.Combo_Path);
    const QString variant = folder.left(folder.size() - 4) + QStringLiteral("BOOK");
    window.Combo_Path->lineEdit()->selectAll();
    QTest::keyClicks(window.Combo_Path, variant);
    QTest::keyClick(window.Combo_Path, Qt::Key_Return);
    EXPECT_EQ(pathText(), variant);
    EXPECT_EQ(current(), folder);
    EXPECT_TRUE(window.Check->isChecked());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ComboPick, TypingInsideTheNameShownLeavesTheEntryAndKeepsTheCursor)
{
    focus(window.Combo_File);
    window.Combo_File->lineEdit()->setCursorPosition(1);
    QTest::keyClicks(window.Combo_File, QStringLiteral("bc"));
    EXPECT_EQ(fileText(), QStringLiteral("abc.jpg"));
    EXPECT_EQ(window.Combo_File->currentIndex(), -1);
    QTest::keyClick(window.Combo_File, Qt::Key_Backspace);
    QTest::keyClick(window.Combo_File, Qt::Key_Backspace);
    EXPECT_EQ(window.Combo_File->currentIndex(), 0);
    window.comboFile().setText(QStringLiteral("C.GIF"));
    EXPECT_EQ(window.Combo_File->currentIndex(), 1);
}

} // namespace
} // namespace folivo
