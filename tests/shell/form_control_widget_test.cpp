#include "shell/form_control.h"

#include "platform/ui_services.h"
#include "shell/form_control_testing.h"
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

    EXPECT_EQ(frame2(dialog)->title(), u"右クリックメニューへのフォリボ起動の追加"_s);
    EXPECT_EQ(frame2(dialog)->geometry(), QRect(36, 56, 549, 123));
    EXPECT_EQ(label1(dialog)->parentWidget(), frame2(dialog));
    EXPECT_EQ(label1(dialog)->geometry(), QRect(10, 18, 527, 29));
    EXPECT_TRUE(label1(dialog)->wordWrap());
    EXPECT_EQ(label1(dialog)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(label1(dialog)->palette().color(QPalette::Window), QColor(192, 192, 255));
    // clang-format off
    EXPECT_EQ(label1(dialog)->text(), u"圧縮ファイルやフォルダで右クリックすると表示するメニュー(右クリックメニュー=コンテキストメニュー)から簡単に起動できるようになります。"_s);
    // clang-format on

    EXPECT_EQ(commandReg(dialog, 0)->text(), u"設定する"_s);
    EXPECT_EQ(commandReg(dialog, 0)->parentWidget(), frame2(dialog));
    EXPECT_EQ(commandReg(dialog, 0)->geometry(), QRect(104, 74, 95, 23));
    EXPECT_EQ(commandReg(dialog, 1)->text(), u"解除する"_s);
    EXPECT_EQ(commandReg(dialog, 1)->geometry(), QRect(344, 74, 95, 23));
    EXPECT_EQ(command(dialog)->text(), u"終了"_s);
    EXPECT_EQ(command(dialog)->geometry(), QRect(514, 242, 79, 25));

    dialog.show();
    EXPECT_FALSE(frame1(dialog)->isVisible());
    EXPECT_TRUE(frame1(dialog)->findChild<QRadioButton*>(u"Option1"_s)->isChecked());
}

TEST_F(FormControlTest, FocusStartsOnFinishAndTabsThroughTheButtons)
{
    Form_Control dialog;
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), command(dialog));
    EXPECT_EQ(command(dialog)->nextInFocusChain()->objectName(), u"Option1"_s);
    // The hidden options are passed over when tabbing.
    QWidget* next = command(dialog)->nextInFocusChain();
    while (!next->isVisible() || next->focusPolicy() == Qt::NoFocus)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, commandReg(dialog, 0));
    EXPECT_EQ(commandReg(dialog, 0)->nextInFocusChain(), commandReg(dialog, 1));
}

TEST_F(FormControlTest, EachRegistrationClickSaysDoneAndTheWindowStaysUntilFinish)
{
    Form_Control dialog;
    int result = -1;
    bool stillOpenAfterClicks = false;
    QTimer::singleShot(0, &dialog, [&] {
        commandReg(dialog, 0)->click();
        commandReg(dialog, 1)->click();
        stillOpenAfterClicks = dialog.isVisible();
        command(dialog)->click();
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
    commandReg(dialog, 0)->click();
    commandReg(dialog, 1)->click();
    ASSERT_EQ(commandsWhenDone.size(), 2);
    EXPECT_EQ(commandsWhenDone[0], kCommand);
    EXPECT_TRUE(commandsWhenDone[1].isNull());
}

} // namespace
} // namespace folivo::test
