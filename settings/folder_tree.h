#pragma once

#include <QString>
#include <QTreeWidget>

class QMimeData;

namespace folivo {

/// The directory tree of the folder registration window. It shows the folder open in it,
/// that folder's parents up to "/" and its subfolders; double-click or Enter on an entry
/// opens it, Backspace opens the parent. The open folder (path()) is what the window
/// works with; the highlighted entry is only where the user is looking.
class FolderTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit FolderTree(QWidget* parent = nullptr);

    /// The open folder: absolute, without a trailing separator ("/" for the root).
    const QString& path() const { return m_path; }
    /// Opens a folder (a relative path is taken from the process's current folder) and
    /// raises pathChanged. Throws Error(PathNotFound) when it is not a folder; the tree
    /// then stays where it was.
    void setPath(const QString& path);

    /// Subfolder and file paths below a folder: "/" + name at the root, folder/name elsewhere.
    static QString childPath(const QString& folder, const QString& name);

signals:
    void pathChanged();
    /// Files or folders were dropped on the tree.
    void dropped(const QMimeData& data);

protected:
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void rebuild();
    void openEntry(const QString& path);

    QString m_path;
};

} // namespace folivo
