#include "shell/form_control.h"

#include "platform/ui_services.h"
#include "shell/shell_fixture.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace folivo::test {
namespace {

using namespace Qt::StringLiterals;
using FormControlTest = ShellTest;

// The test screen has 96 DPI: 15 twips to the pixel.
TEST_F(FormControlTest, LaysOutTheDesignInPixels)
{
    Form_Control dialog;
    EXPECT_EQ(dialog.windowTitle(), u"設定"_s);
    EXPECT_EQ(dialog.size(), QSize(610, 283));

    EXPECT_EQ(dialog.frame2()->title(), u"右クリックメニューへのフォリボ起動の追加"_s);
    EXPECT_EQ(dialog.frame2()->geometry(), QRect(36, 56, 549, 123));
    EXPECT_EQ(dialog.label1()->parentWidget(), dialog.frame2());
    EXPECT_EQ(dialog.label1()->geometry(), QRect(10, 18, 527, 29));
    EXPECT_TRUE(dialog.label1()->wordWrap());
    EXPECT_EQ(dialog.label1()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(dialog.label1()->palette().color(QPalette::Window), QColor(192, 192, 255));
    // clang-format off
    EXPECT_EQ(dialog.label1()->text(), u"圧縮ファイルやフォルダで右クリックすると表示するメニュー(右クリックメニュー=コンテキストメニュー)から簡単に起動できるようになります。"_s);
    // clang-format on

    EXPECT_EQ(dialog.commandReg(0)->text(), u"設定する"_s);
    EXPECT_EQ(dialog.commandReg(0)->parentWidget(), dialog.frame2());
    EXPECT_EQ(dialog.commandReg(0)->geometry(), QRect(104, 74, 95, 23));
    EXPECT_EQ(dialog.commandReg(1)->text(), u"解除する"_s);
    EXPECT_EQ(dialog.commandReg(1)->geometry(), QRect(344, 74, 95, 23));
    EXPECT_EQ(dialog.command()->text(), u"終了"_s);
    EXPECT_EQ(dialog.command()->geometry(), QRect(514, 242, 79, 25));

    dialog.show();
    EXPECT_FALSE(dialog.frame1()->isVisible());
    EXPECT_TRUE(dialog.frame1()->findChild<QRadioButton*>(u"Option1"_s)->isChecked());
}

TEST_F(FormControlTest, FocusStartsOnFinishAndTabsThroughTheButtons)
{
    Form_Control dialog;
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), dialog.command());
    EXPECT_EQ(dialog.command()->nextInFocusChain()->objectName(), u"Option1"_s);
    // The hidden options are passed over when tabbing.
    QWidget* next = dialog.command()->nextInFocusChain();
    while (!next->isVisible() || next->focusPolicy() == Qt::NoFocus)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, dialog.commandReg(0));
    EXPECT_EQ(dialog.commandReg(0)->nextInFocusChain(), dialog.commandReg(1));
}

TEST_F(FormControlTest, EachRegistrationClickSaysDoneAndTheWindowStaysUntilFinish)
{
    Form_Control dialog;
    int result = -1;
    bool stillOpenAfterClicks = false;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.commandReg(0)->click();
        dialog.commandReg(1)->click();
        stillOpenAfterClicks = dialog.isVisible();
        dialog.command()->click();
    });
    result = dialog.exec();

    EXPECT_TRUE(stillOpenAfterClicks);
    EXPECT_EQ(result, QDialog::Accepted);
    ASSERT_EQ(recorder.messages.size(), 2u);
    for (const RecordedMessage& message : recorder.messages) {
        EXPECT_EQ(message.prompt, u"終了しました。"_s);
        EXPECT_EQ(message.style, MessageStyle::Information);
        EXPECT_EQ(message.title, u"Folivo"_s);
    }
}

TEST_F(FormControlTest, TheDoneMessageComesAfterTheRegistryWork)
{
    Form_Control dialog;
    QStringList commandsWhenDone;
    recorder.onMessage = [&](const RecordedMessage&) {
        commandsWhenDone << defaultValue(u"Folder\\shell\\フォリボ起動\\command"_s);
    };
    dialog.commandReg(0)->click();
    dialog.commandReg(1)->click();
    ASSERT_EQ(commandsWhenDone.size(), 2);
    EXPECT_EQ(commandsWhenDone[0], kCommand);
    EXPECT_TRUE(commandsWhenDone[1].isNull());
}

} // namespace
} // namespace folivo::test
