#pragma once

#include "app/main_window.h"
#include "help/help_window.h"
#include "view/page_window.h"

namespace folivo {

/// The page window, or null while nothing has made it.
inline Form_Main* pageWindowIfCreated(const MDIForm_Main& window)
{
    return window.findChild<Form_Main*>();
}

/// The help window, or null before the start-up has made it.
inline Form_Help* helpWindow(const MDIForm_Main& window)
{
    return window.findChild<Form_Help*>();
}

} // namespace folivo
