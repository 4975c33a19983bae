#pragma once

#include <QString>

#include <cstdint>

namespace folivo::Mod_Reg {

/// The class root, the one root every caller passes.
inline constexpr std::uint32_t HKEY_CLASSES_ROOT = 0x80000000u;

/// Reads a string value; 0 and the value, or -1 and "" when the key or value is missing or
/// longer than 249 bytes. Never shows a message.
std::int32_t Reg_Value_Get(std::uint32_t root, const QString& keyPath, const QString& valueName,
                           QString& value);

/// Writes a string value, creating the key and every missing key above it; 0 or -1.
/// A failure is reported in a warning message box.
std::int32_t Reg_Value_Set(std::uint32_t root, const QString& keyPath, const QString& valueName,
                           const QString& value);

/// Deletes a key without subkeys; a key that is not there is no failure. Other failures are
/// reported in a warning message box.
void Reg_Key_Delete(std::uint32_t root, const QString& keyPath);

/// Registers the start verb for folders, ZIP and LZH files (class keys and the desktop
/// entry). Each failure is reported in a warning message box and the next key is tried.
void Menu_Set();

/// Removes the start verb again; the plain open commands that Menu_Set may have written stay.
/// Each failure is reported in a warning message box and the next key is tried.
void Menu_Remove();

/// The program the verb starts: the running program's absolute path unless one was set.
QString programPath();

/// The command value the verb's command keys hold: "<program>" "%1".
QString commandValue();

} // namespace folivo::Mod_Reg
