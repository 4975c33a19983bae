#include "platform/ui_services.h"

#include "platform/ui_services_testing.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace folivo {
namespace {

class QtUiServices final : public UiServices {
public:
    void messageBox(const QString& prompt, int style, const QString& title) override
    {
        QMessageBox box;
        box.setWindowTitle(title);
        // Prompts carry file names, which may look like markup ("<b>x.rar"); as rich text
        // they would lose their characters and every line break.
        box.setTextFormat(Qt::PlainText);
        box.setText(displayText(prompt));
        box.setStandardButtons(QMessageBox::Ok);
        switch (style & 0xF0) {
        case MessageStyle::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageStyle::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageStyle::Information:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        box.setWindowModality(Qt::ApplicationModal);
        if (style & MessageStyle::SystemModal)
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
    }

    void doEvents() override { QApplication::processEvents(); }

    [[noreturn]] void endProgram(int status) override
    {
        // Everything worth keeping is already on disk (settings are written as they change),
        // so skip every destructor and close event, as a hard end of the process does.
        std::fflush(nullptr);
        std::_Exit(status);
    }

private:
    // Messages separate their lines with bare carriage returns; Qt's label breaks only on
    // line feeds, so show each carriage return as a line break. The recorded prompt keeps them.
    static QString displayText(const QString& prompt)
    {
        QString text = prompt;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return text;
    }
};

UiServices* g_installed = nullptr;

} // namespace

UiServices& ui()
{
    static QtUiServices qtServices;
    return g_installed ? *g_installed : qtServices;
}

void setUi(UiServices* services)
{
    g_installed = services;
}

} // namespace folivo
