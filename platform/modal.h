#pragma once

#include <functional>

class QDialog;

namespace folivo {

/// Shows a window modally and returns when it has closed (the event loop runs meanwhile).
/// Returns the dialog's result code.
int showModal(QDialog& dialog);

/// A scripted step for tests: instead of waiting for a user, showModal shows the window,
/// runs the script (which presses its buttons) and closes the window if it is still open.
/// An empty function restores real modal windows.
void setModalScript(std::function<void(QDialog&)> script);

} // namespace folivo
