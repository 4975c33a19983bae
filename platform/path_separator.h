#pragma once

#include <QChar>
#include <QString>

namespace folivo {

/// The one separator between a folder and a name ("/" here). Nothing else spells it.
inline constexpr QChar kPathSeparator = u'/';

inline QString joinPath(const QString& folder, const QString& name)
{
    return folder + kPathSeparator + name;
}

} // namespace folivo
