#pragma once

#include <QString>

namespace folivo {

/// The folder that holds the settings file and the temporary folder: $FOLIVO_HOME when set
/// (used as it is; like an installed program's folder it must already exist), else
/// $XDG_DATA_HOME/folivo (~/.local/share/folivo).
QString installFolder();

/// Creates the default install folder when it is missing, as an installer would. A folder
/// named by FOLIVO_HOME is never created. Returns false when the folder is not there.
bool ensureInstallFolder();

/// Whether the install folder is Folivo's own data folder (no FOLIVO_HOME), which only Folivo
/// writes into: what lies there, its temporary folder included, is Folivo's.
bool installFolderIsFolivos();

/// <install folder>/Folivo.ini
QString settingsFilePath();

/// <install folder>/tmp, without a trailing separator.
QString tmpFolderPath();

} // namespace folivo
