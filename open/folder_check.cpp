#include "open/folder_check.h"

#include "platform/dir_listing.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/path_separator.h"
#include "settings/reading_options.h"

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

bool anyListed(const QString& folder, QLatin1StringView pattern)
{
    DirListing listing(folder + kPathSeparator + pattern, ListAttributes::Normal);
    return !listing.next().isEmpty();
}

bool hasPictures(const QString& folder)
{
    static const std::array<QLatin1StringView, 6> classic{
        QLatin1StringView("*.jpeg"), QLatin1StringView("*.gif"), QLatin1StringView("*.bmp"),
        QLatin1StringView("*.emf"),  QLatin1StringView("*.wmf"), QLatin1StringView("*.jpg")};
    static const std::array<QLatin1StringView, 6> more{
        QLatin1StringView("*.png"),  QLatin1StringView("*.webp"), QLatin1StringView("*.tif"),
        QLatin1StringView("*.tiff"), QLatin1StringView("*.avif"), QLatin1StringView("*.jxl")};
    bool found = false;
    for (const QLatin1StringView pattern : classic)
        found = anyListed(folder, pattern) || found;
    if (!found && ReadingOptions::isOn(ReadingOptions::Option::MoreFormats)) {
        for (const QLatin1StringView pattern : more)
            found = found || anyListed(folder, pattern);
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
