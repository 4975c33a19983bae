#include "app/unpacking_pages.h"

#include "platform/blanks.h"
#include "platform/dir_listing.h"
#include "platform/path_separator.h"
#include "view/page_list.h"

#include <algorithm>
#include <utility>

namespace folivo {
namespace {

QString parentOf(const QString& relativePath)
{
    const qsizetype cut = relativePath.lastIndexOf(QLatin1Char('/'));
    return cut < 0 ? QStringLiteral("") : relativePath.left(cut);
}

QString nameOf(const QString& relativePath)
{
    return relativePath.mid(relativePath.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

UnpackingPages::UnpackingPages(QString root, std::function<void()> changed)
    : m_root(std::move(root))
    , m_changed(std::move(changed))
{
}

void UnpackingPages::planned(const QStringList& paths)
{
    const std::lock_guard lock(m_mutex);
    for (const QString& path : paths)
        m_coming.insert(path);
}

void UnpackingPages::written(const QString& path)
{
    {
        const std::lock_guard lock(m_mutex);
        m_coming.remove(path);
    }
    if (m_changed)
        m_changed();
}

void UnpackingPages::ended()
{
    {
        const std::lock_guard lock(m_mutex);
        // What did not come by now never will: a failed member, a stop.
        m_coming.clear();
        m_ended = true;
    }
    if (m_changed)
        m_changed();
}

bool UnpackingPages::unpacking() const
{
    const std::lock_guard lock(m_mutex);
    return !m_ended && !m_coming.isEmpty();
}

QString UnpackingPages::relativeFolder(const QString& folder) const
{
    if (folder == m_root)
        return QStringLiteral("");
    const QString prefix = m_root + kPathSeparator;
    return folder.startsWith(prefix) ? folder.mid(prefix.size()) : QString();
}

QSet<QString> UnpackingPages::comingIn(const QString& folder) const
{
    QSet<QString> names;
    const QString relative = relativeFolder(folder);
    if (relative.isNull())
        return names;
    const std::lock_guard lock(m_mutex);
    for (const QString& path : m_coming) {
        if (parentOf(path) == relative)
            names.insert(nameOf(path));
    }
    return names;
}

QStringList UnpackingPages::awaitedBy(const QString& folder, const QString& current, int step,
                                      int reach) const
{
    QSet<QString> coming = comingIn(folder);
    if (coming.isEmpty())
        return {};
    // The pages as the listing will show them once every one is out: those there now (some
    // perhaps still being written) and those to come, hidden names left out as it leaves them.
    QStringList pages;
    for (const QString& name :
         listDirectory(joinPath(folder, QStringLiteral("*.*")), ListAttributes::Normal)) {
        if (Mod_Varnox::Picture_Check(name))
            pages << trimBlanks(name);
    }
    for (const QString& name : std::as_const(coming)) {
        if (!name.startsWith(QLatin1Char('.')) && Mod_Varnox::Picture_Check(name))
            pages << name;
    }
    std::sort(pages.begin(), pages.end(), naturalLess);
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());

    qsizetype from = 0;
    const QString name = trimBlanks(current);
    if (!name.isEmpty()) {
        const qsizetype at = pages.indexOf(name);
        if (at < 0)
            return {};
        from = step > 0 ? at + 1 : step < 0 ? at - reach : at;
    }
    QStringList awaited;
    for (qsizetype k = std::max<qsizetype>(from, 0);
         k < std::min<qsizetype>(from + reach, pages.size()); ++k) {
        if (coming.contains(pages.at(k)))
            awaited << joinPath(folder, pages.at(k));
    }
    return awaited;
}

bool UnpackingPages::anyAwaited(const QStringList& paths) const
{
    const std::lock_guard lock(m_mutex);
    if (m_ended)
        return false;
    const QString prefix = m_root + kPathSeparator;
    return std::any_of(paths.begin(), paths.end(), [&](const QString& path) {
        return path.startsWith(prefix) && m_coming.contains(path.mid(prefix.size()));
    });
}

} // namespace folivo
