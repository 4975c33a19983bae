#include "view/page_list.h"

#include "platform/blanks.h"
#include "platform/combo_box.h"
#include "platform/dir_listing.h"
#include "platform/path_separator.h"
#include "platform/ui_services.h"
#include "settings/reading_options.h"

#include <QStringList>
#include <QStringView>

#include <algorithm>
#include <array>
#include <optional>

namespace folivo::Mod_Varnox {
namespace {

const QString kLastPageMessage = QStringLiteral("最終データです。");
const QString kFirstPageMessage = QStringLiteral("先頭データです。");

/// One pass over the folder's listing, from its first entry: every search starts over, so
/// a page that appeared or vanished since the last step is taken into account.
class FolderNames {
public:
    explicit FolderNames(const ComboBox& path)
        : m_listing(joinPath(path.text(), QStringLiteral("*.*")), ListAttributes::Normal)
    {
    }

    /// The next name, whole as listed: a name that begins with a blank is opened by that
    /// name. Nothing once the listing is exhausted; the end is told apart from a name of
    /// blanks, which would otherwise hide every page after it.
    std::optional<QString> next()
    {
        const QString name = m_listing.next();
        if (name.isEmpty())
            return std::nullopt;
        return name;
    }

private:
    DirListing m_listing;
};

QStringList picturesOf(const ComboBox& path)
{
    QStringList pages;
    FolderNames names(path);
    while (const std::optional<QString> name = names.next()) {
        if (Picture_Check(*name))
            pages.append(*name);
    }
    return pages;
}

QString pageBefore(const QStringList& pages, qsizetype position)
{
    return position > 0 ? pages.at(position - 1) : QString();
}

void showEndMessage(const QString& message)
{
    ui().messageBox(message, MessageStyle::Information, mainCaption());
}

} // namespace

bool Picture_Check(const QString& name)
{
    static const std::array<QStringView, 6> classic = {u".jpg", u".jpeg", u".wmf",
                                                       u".emf", u".bmp",  u".gif"};
    static const std::array<QStringView, 6> more = {u".png",  u".webp", u".tif",
                                                    u".tiff", u".avif", u".jxl"};
    const auto endsIn = [&name](QStringView extension) {
        return name.endsWith(extension, Qt::CaseInsensitive);
    };
    if (std::any_of(classic.begin(), classic.end(), endsIn))
        return true;
    return ReadingOptions::isOn(ReadingOptions::Option::MoreFormats) &&
           std::any_of(more.begin(), more.end(), endsIn);
}

qsizetype firstPictureAmong(const QStringList& paths)
{
    qsizetype first = -1;
    for (qsizetype k = 0; k < paths.size(); ++k) {
        const QString& path = paths.at(k);
        if (path.contains(QLatin1Char('/')) || path.startsWith(QLatin1Char('.')) ||
            !Picture_Check(path))
            continue;
        if (first < 0 || naturalLess(path, paths.at(first)))
            first = k;
    }
    return first;
}

QStringList folderPictures(const ComboBox& path)
{
    return picturesOf(path);
}

void File_List_Load(const ComboBox& path, ComboBox& file)
{
    // clear() empties the text too; the text is not ours to change.
    const QString text = file.text();
    file.clear();
    file.setText(text);
    file.addItems(picturesOf(path));
}

QString File_Next(const ComboBox& path, const ComboBox& file)
{
    const QString current = file.text();
    FolderNames names(path);
    bool found = false;
    while (const std::optional<QString> name = names.next()) {
        if (*name == current && Picture_Check(*name)) {
            found = true;
            break;
        }
    }
    if (!found)
        return QString();
    while (const std::optional<QString> name = names.next()) {
        if (Picture_Check(*name))
            return *name;
    }
    return QString();
}

QString File_Previous(const ComboBox& path, const QString& name)
{
    const QStringList pages = picturesOf(path);
    return pageBefore(pages, pages.indexOf(name));
}

QString File_Step(const ComboBox& path, const ComboBox& file, std::int32_t step)
{
    if (trimBlanks(file.text()).isEmpty()) {
        FolderNames names(path);
        while (const std::optional<QString> name = names.next()) {
            if (Picture_Check(*name))
                return *name;
        }
        return QString();
    }
    // Only +1, -1 and 0 are asked for; a larger step moves one page in its direction.
    if (step > 0) {
        const QString next = File_Next(path, file);
        if (next.isEmpty()) {
            showEndMessage(kLastPageMessage);
            return file.text();
        }
        return next;
    }
    if (step < 0) {
        // The text is a listed name, whole, or what the reader typed, trimmed.
        const QStringList pages = picturesOf(path);
        qsizetype position = pages.indexOf(file.text());
        if (position < 0)
            position = pages.indexOf(trimBlanks(file.text()));
        const QString previous = pageBefore(pages, position);
        if (previous.isEmpty()) {
            showEndMessage(kFirstPageMessage);
            return file.text();
        }
        return previous;
    }
    return file.text();
}

} // namespace folivo::Mod_Varnox
