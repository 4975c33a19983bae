#pragma once

#include <functional>

class QDialog;

namespace folivo {

/// A scripted step: instead of waiting for a user, showModal shows the window, runs the
/// script (which presses its buttons) and closes the window if it is still open. An empty
/// function restores real modal windows.
void setModalScript(std::function<void(QDialog&)> script);

} // namespace folivo
