#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

namespace folivo {

/// The files an extraction has yet to write into the folder a reader already reads, so that a
/// turn to a page still on its way waits for it instead of skipping it or ending the book, and
/// the file box lists only pages that are whole. Told from the unpacking threads; asked on the
/// user-interface thread.
class UnpackingPages {
public:
    /// `root`: the folder the archive unpacks into. `changed` is called, from the unpacking
    /// threads, after each file written and at the end.
    UnpackingPages(QString root, std::function<void()> changed);

    void planned(const QStringList& paths);
    void written(const QString& path);
    void ended();

    /// Whether files are still to come.
    bool unpacking() const;

    /// The pages of `folder` still to come among the `reach` pages a step from `current`
    /// goes to (step 0: `current` and those after it; an empty `current`: the first ones),
    /// in the order the folder's listing will show them once all are out. Paths are whole.
    QStringList awaitedBy(const QString& folder, const QString& current, int step, int reach) const;
    /// Whether one of those paths is still to come.
    bool anyAwaited(const QStringList& paths) const;
    /// The names of `folder` that are still to come, for the file box to leave out.
    QSet<QString> comingIn(const QString& folder) const;

private:
    /// The folder relative to the root ("" for the root itself), or a null string when it
    /// lies outside.
    QString relativeFolder(const QString& folder) const;

    const QString m_root;
    const std::function<void()> m_changed;
    mutable std::mutex m_mutex;
    QSet<QString> m_coming;
    bool m_ended = false;
};

} // namespace folivo
