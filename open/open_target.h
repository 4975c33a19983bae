#pragma once

#include "archive/archiver.h"

#include <QString>

#include <cstdint>

namespace folivo {

class ComboBox;

/// What the open procedure needs of the main window: its two combo boxes, the handlers it
/// runs as procedures, and its window handle for the archiver.
class OpenTargetHost {
public:
    virtual ~OpenTargetHost() = default;

    virtual ComboBox& comboPath() = 0;
    virtual ComboBox& comboFile() = 0;
    virtual quintptr hWnd() const = 0;
    virtual void Combo_Path_Load() = 0;
    virtual void Combo_Path_Click() = 0;
    virtual void Combo_File_Click() = 0;
    /// Opens the folder registration window modally.
    virtual void Command_GetFolder_Click() = 0;
    /// Before an archive is unpacked into `folder`, which is then opened: what the window
    /// wants to be told of the files written there (from the unpacking threads), to prepare
    /// the page it will show first while the rest unpacks. Nothing by default.
    virtual Archiver::MemberWatch unpackWatch(const QString& folder)
    {
        Q_UNUSED(folder);
        return {};
    }
};

/// Kind codes of Open_Target.
namespace OpenKind {
constexpr std::int32_t Failed = -1;
constexpr std::int32_t Current = 0;
constexpr std::int32_t Picture = 1;
constexpr std::int32_t Zip = 2;
constexpr std::int32_t Lzh = 3;
constexpr std::int32_t Folder = 4;
/// A RAR, 7z or tar book (reading option MoreFormats).
constexpr std::int32_t OtherArchive = 5;
} // namespace OpenKind

/// Opens what a path names (nothing: the current folder again; a picture; a ZIP or LZH
/// archive, or with the reading option MoreFormats a CBZ, RAR, 7z or tar one, unpacked into
/// the temporary folder; a folder), records it in the settings and
/// shows its page through the host's handlers. May show message boxes, a progress window
/// while an archive unpacks, and open the folder window modally. Returns the kind code; -1
/// when the path was not opened (the user has been told why).
std::int32_t Open_Target(OpenTargetHost& host, const QString& path);

/// A folder's path with its trailing separators taken off (the shell's completion adds one to
/// a folder's name), so that it opens as the folder and not as its first file. The root keeps
/// its own; a path that names no folder once they are off is returned as it is.
QString folderPathAsNamed(const QString& path);

/// At start-up, before the window is built: when Open_Target of the same path will unpack an
/// archive, starts unpacking it now (Zip_Extract_Ahead), so that the time the window takes to
/// build is not lost to it. Shows nothing and changes no setting.
void Open_Target_Ahead(const QString& path);

} // namespace folivo
