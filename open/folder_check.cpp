#include "open/folder_check.h"

#include "platform/dir_listing.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/path_separator.h"

#include <array>

namespace folivo::Mod_Varnox {
namespace {

bool hasSubfolder(const QString& folder)
{
    DirListing listing(folder + kPathSeparator + QLatin1String("*.*"), ListAttributes::Directory);
    for (QString name = listing.next(); !name.isEmpty(); name = listing.next()) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        try {
            if (fileAttributes(joinPath(folder, name)) & FileAttribute::Directory)
                return true;
        } catch (const Error&) {
            // Gone since it was listed: it is no subfolder any more.
        }
    }
    return false;
}

bool hasPictures(const QString& folder)
{
    static const std::array<QLatin1StringView, 6> patterns{
        QLatin1StringView("*.jpeg"), QLatin1StringView("*.gif"), QLatin1StringView("*.bmp"),
        QLatin1StringView("*.emf"),  QLatin1StringView("*.wmf"), QLatin1StringView("*.jpg")};
    bool found = false;
    for (const QLatin1StringView pattern : patterns) {
        DirListing listing(folder + kPathSeparator + pattern, ListAttributes::Normal);
        if (!listing.next().isEmpty())
            found = true;
    }
    return found;
}

} // namespace

std::int32_t Folder_Check(const QString& folder)
{
    const bool subfolder = hasSubfolder(folder);
    const bool pictures = hasPictures(folder);
    if (pictures)
        return subfolder ? 1 : 0;
    return subfolder ? 2 : -1;
}

} // namespace folivo::Mod_Varnox
