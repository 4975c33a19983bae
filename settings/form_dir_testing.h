#pragma once

#include "settings/folder_tree.h"
#include "settings/form_dir.h"

#include <QString>

namespace folivo {

/// The folder open in the window's tree.
inline QString dirPath(const Form_Dir& form)
{
    return form.Dir()->path();
}

} // namespace folivo
