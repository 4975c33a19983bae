#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace folivo {

class ComboBox;

/// The settings file's procedures. The file (settingsFilePath()) has one section, "Folders":
/// the registered folders in the slot keys "000", "001", ... (the list ends at the first empty
/// slot) and the folder selected last in "Current".
namespace Mod_Varnox {

/// The one section of the settings file.
inline const QString kSectionFolders = QStringLiteral("Folders");
/// The key of the folder selected last.
inline const QString kKeyCurrent = QStringLiteral("Current");

/// The key of registered-folder slot i: i in decimal with at least three digits ("000",
/// "042", "999", "1000").
QString slotKey(std::int32_t i);

/// The registered folders of file, trimmed, up to the first empty slot.
QStringList registeredFolders(const QString& file);

/// Reads section/key of file into value (as stored, not trimmed). Returns 0 for a usable
/// value; -1 and "" when the file or key is missing, the value is empty or reads "Badini".
std::int32_t Ini_Read(const QString& section, const QString& key, const QString& file,
                      QString& value);

/// Writes section/key = value to file and returns 0. A write that keeps failing shows a
/// message box and ends the program (status 1): this call then never returns.
std::int32_t Ini_Write(const QString& section, const QString& key, const QString& file,
                       const QString& value);

/// Registers path (trimmed) in the first free slot unless it is registered already, then
/// sets combo's text to path as given. May show a message box and end the program.
void Ini_Folder_Add(const QString& path, ComboBox& combo);

/// Rewrites the slots from list's entries without the folder named by list's text, leaving
/// the freed slots as empty keys; when combo (the main window's folder box) shows that
/// folder, empties Current and combo's text. May show a message box and end the program.
void Ini_Folder_Delete(ComboBox& list, ComboBox& combo);

} // namespace Mod_Varnox
} // namespace folivo
