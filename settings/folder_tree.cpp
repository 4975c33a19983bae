#include "settings/folder_tree.h"

#include "platform/dir_listing.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/path_separator.h"

#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QSet>
#include <QStyle>

namespace folivo {
namespace {

constexpr int kPathRole = Qt::UserRole;

QTreeWidgetItem* makeItem(const QString& text, const QString& path, const QIcon& icon)
{
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kPathRole, path);
    item->setIcon(0, icon);
    return item;
}

} // namespace

FolderTree::FolderTree(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    // The tree is a path, not an outline: every level is always shown, nothing folds.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { openEntry(item->data(0, kPathRole).toString()); });
}

void FolderTree::setPath(const QString& path)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (path.isEmpty() || !isFolder(absolute))
        throw Error(ErrorNumber::PathNotFound);
    m_path = absolute;
    rebuild();
    emit pathChanged();
}

QString FolderTree::childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(kPathSeparator) ? folder + name : joinPath(folder, name);
}

void FolderTree::rebuild()
{
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    clear();
    const QString root = QString(kPathSeparator);
    QTreeWidgetItem* open = makeItem(root, root, openIcon);
    addTopLevelItem(open);
    QString walked = root;
    const QStringList parts = m_path.split(kPathSeparator, Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        walked = childPath(walked, part);
        QTreeWidgetItem* next = makeItem(part, walked, openIcon);
        open->addChild(next);
        open = next;
    }

    // Folders are the entries a listing with folders holds beyond the files.
    const QString pattern = childPath(m_path, QStringLiteral("*"));
    const QStringList files = listDirectory(pattern, ListAttributes::Normal);
    const QSet<QString> fileSet(files.begin(), files.end());
    const QStringList entries = listDirectory(pattern, ListAttributes::Directory);
    for (const QString& name : entries) {
        if (!fileSet.contains(name))
            open->addChild(makeItem(name, childPath(m_path, name), closedIcon));
    }

    expandAll();
    setCurrentItem(open);
    scrollToItem(open);
}

void FolderTree::openEntry(const QString& path)
{
    try {
        setPath(path);
    } catch (const Error&) {
        // The entry vanished since it was listed: show what is there now.
        rebuild();
    }
}

void FolderTree::drawBranches(QPainter*, const QRect&, const QModelIndex&) const
{
    // Nothing folds, so no entry gets an expand arrow; the indent alone shows the levels.
}

void FolderTree::keyPressEvent(QKeyEvent* event)
{
    // Enter opens the highlighted entry here and goes no further: the dialog must not take
    // it as a press of one of its buttons.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (const QTreeWidgetItem* item = currentItem())
            openEntry(item->data(0, kPathRole).toString());
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Backspace && m_path != QString(kPathSeparator)) {
        const qsizetype cut = m_path.lastIndexOf(kPathSeparator);
        openEntry(cut <= 0 ? QString(kPathSeparator) : m_path.left(cut));
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void FolderTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FolderTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FolderTree::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit dropped(*event->mimeData());
}

} // namespace folivo
