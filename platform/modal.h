#pragma once

class QDialog;

namespace folivo {

/// Shows a window modally and returns when it has closed (the event loop runs meanwhile).
/// Returns the dialog's result code.
int showModal(QDialog& dialog);

} // namespace folivo
