#pragma once

#include <QString>

namespace folivo {

/// The main window's caption, also the title of the program's message boxes.
inline QString mainCaption()
{
    return QStringLiteral("Folivo");
}

} // namespace folivo
