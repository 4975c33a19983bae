#pragma once

#include "open/extraction_progress_window.h"

#include <QPushButton>

namespace folivo {

/// The window's one button, 中止.
inline QPushButton* stopButton(const ExtractionProgressWindow& window)
{
    return window.findChild<QPushButton*>();
}

} // namespace folivo
