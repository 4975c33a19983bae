#pragma once

#include <QString>

namespace folivo {

/// The main window's caption, also the title of the program's message boxes.
inline QString mainCaption()
{
    return QStringLiteral("Folivo");
}

/// Message-box styles: one icon, optionally system-modal. OK is the only button.
namespace MessageStyle {
constexpr int Stop = 16;
constexpr int Warning = 48;
constexpr int Information = 64;
constexpr int SystemModal = 4096;
} // namespace MessageStyle

/// The interactive services every window and procedure relies on: message boxes, letting
/// pending events run, and ending the program. The program uses the Qt implementation;
/// tests install a recorder (tests/fakes) that returns at once.
class UiServices {
public:
    virtual ~UiServices() = default;

    /// Shows a modal message box; the event loop runs until the user presses OK.
    virtual void messageBox(const QString& prompt, int style, const QString& title) = 0;
    /// Lets pending window events run once; clicks queued meanwhile may run in here.
    virtual void doEvents() = 0;
    /// Ends the program at once: no close events, no further code of the caller.
    [[noreturn]] virtual void endProgram(int status) = 0;
};

/// The services in force: the recorder a test installed, else the Qt implementation.
UiServices& ui();

} // namespace folivo
