// The message box the program shows (not the recorder the other tests install).
#include "platform/ui_services.h"
#include "platform/ui_services_testing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <gtest/gtest.h>

namespace folivo {
namespace {

struct ShownBox {
    bool found = false;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QString title;
};

// Shows a message through the Qt services and reads the box while it is open, then presses OK.
ShownBox showAndRead(const QString& prompt)
{
    ShownBox shown;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            shown = {true, box->text(), box->textFormat(), box->windowTitle()};
            box->button(QMessageBox::Ok)->click();
            poll.stop();
        }
    });
    poll.start();
    ui().messageBox(prompt, MessageStyle::Stop, QStringLiteral("Folivo"));
    return shown;
}

TEST(QtMessageBox, ShowsAFileNameWithMarkupAsPlainTextOnItsOwnLines)
{
    setUi(nullptr);
    const ShownBox shown =
        showAndRead(QStringLiteral("ファイル名　[/books/<b>x.rar]\r\rは開けません。"));
    ASSERT_TRUE(shown.found);
    EXPECT_EQ(shown.format, Qt::PlainText);
    EXPECT_EQ(shown.text, QStringLiteral("ファイル名　[/books/<b>x.rar]\n\nは開けません。"));
    EXPECT_EQ(shown.title, QStringLiteral("Folivo"));
}

} // namespace
} // namespace folivo
