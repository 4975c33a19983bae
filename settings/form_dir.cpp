#include "settings/form_dir.h"

#include "platform/blanks.h"
#include "platform/combo_box.h"
#include "platform/combo_box_widget.h"
#include "platform/dir_listing.h"
#include "platform/error.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "platform/screen.h"
#include "platform/ui_services.h"
#include "settings/drive_list.h"
#include "settings/folder_tree.h"
#include "settings/ini_file.h"

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <cstdint>

namespace folivo {
namespace {

const QString kCaption = QStringLiteral("対象フォルダ登録");
const QString kCloseCaption = QStringLiteral("終了");
const QString kAddCaption = QStringLiteral("追加");
const QString kDeleteCaption = QStringLiteral("削除");
const QString kRegisteredCaption = QStringLiteral("登録済みフォルダ");
const QString kFolderGoneMessage = QStringLiteral("そのフォルダは既に削除されてしまったようです。");

constexpr int kClientWidth = 10200;
constexpr int kClientHeight = 6810;

enum CommandIndex { CloseCommand = 0, AddCommand = 1, DeleteCommand = 2 };

/// The first dropped entry that is a file or folder of this machine, or "".
QString firstDroppedPath(const QMimeData& data)
{
    const QList<QUrl> urls = data.urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return QString();
}

} // namespace

Form_Dir::Form_Dir(ComboBox& mainComboPath, QWidget* parent)
    : QDialog(parent)
    , m_mainComboPath(mainComboPath)
{
    buildControls();
    openStartFolder();
    Form_Load();
}

Form_Dir::~Form_Dir() = default;

void Form_Dir::buildControls()
{
    setWindowTitle(kCaption);
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_drive = new DriveList(this);
    m_drive->setObjectName(QStringLiteral("Drive"));
    m_drive->setFont(fixedFont(12));
    m_drive->setGeometry(twipsRect(210, 330, 4275, 360));

    m_dir = new FolderTree(this);
    m_dir->setObjectName(QStringLiteral("Dir"));
    m_dir->setFont(fixedFont(12));
    m_dir->setGeometry(twipsRect(210, 810, 6675, 3330));

    const std::array<QString, 3> captions{kCloseCaption, kAddCaption, kDeleteCaption};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(captions.at(static_cast<size_t>(i)), this);
        button->setObjectName(QStringLiteral("Command_%1").arg(i));
        // No button answers Enter: Enter in the tree opens a folder, in the box it does nothing.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { Command_Click(i); });
        m_command.at(static_cast<size_t>(i)) = button;
    }
    Command(AddCommand)->setGeometry(twipsRect(8730, 4200, 1185, 375));
    Command(CloseCommand)->setGeometry(twipsRect(8730, 6300, 1185, 375));
    Command(DeleteCommand)->setGeometry(twipsRect(8730, 5400, 1185, 375));

    // Its list must stay the registered slots, as Delete writes it back into the file, and
    // Delete must get the text exactly as typed.
    m_comboPath = new EditableComboBox(this);
    m_comboPath->setObjectName(QStringLiteral("Combo_Path"));
    m_comboPath->setGeometry(twipsRect(210, 5040, 9675, 300));

    m_label1 = new QLabel(kRegisteredCaption, this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setFont(fixedFont(11.25));
    m_label1->setAutoFillBackground(true);
    QPalette labelPalette = m_label1->palette();
    labelPalette.setColor(QPalette::Window, QColor(192, 192, 255));
    labelPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_label1->setPalette(labelPalette);
    m_label1->setGeometry(twipsRect(210, 4710, 1755, 285));

    m_file = new QListWidget(this);
    m_file->setObjectName(QStringLiteral("File"));
    m_file->setGeometry(twipsRect(7080, 810, 2805, 3330));

    QWidget::setTabOrder(m_drive, m_dir);
    QWidget::setTabOrder(m_dir, Command(AddCommand));
    QWidget::setTabOrder(Command(AddCommand), Command(CloseCommand));
    QWidget::setTabOrder(Command(CloseCommand), m_comboPath);
    QWidget::setTabOrder(m_comboPath, Command(DeleteCommand));
    QWidget::setTabOrder(Command(DeleteCommand), m_file);
    m_drive->setFocus();

    connect(m_drive, &DriveList::driveChanged, this, &Form_Dir::Drive_Change);
    connect(m_dir, &FolderTree::pathChanged, this, &Form_Dir::Dir_Change);
    connect(m_dir, &FolderTree::dropped, this, &Form_Dir::Dir_OLEDragDrop);
}

void Form_Dir::openStartFolder()
{
    // The process's current folder, as long as it still exists.
    const QStringList candidates{QDir::currentPath(), QDir::homePath(), QString(kPathSeparator)};
    for (const QString& candidate : candidates) {
        if (trySetDirPath(candidate) == 0)
            break;
    }
    m_drive->setDriveQuietly(m_dir->path());
}

void Form_Dir::Form_Load()
{
    const QString file = settingsFilePath();
    QtComboBox registered(m_comboPath);
    registered.addItems(Mod_Varnox::registeredFolders(settingsFilePath()));

    const QString folder = m_mainComboPath.text();
    if (trimBlanks(folder).isEmpty())
        return;

    m_drive->setDrive(folder);
    int lastError = trySetDirPath(folder);
    if (lastError != ErrorNumber::PathNotFound)
        return;

    ui().messageBox(kFolderGoneMessage + QLatin1Char('\r') + QLatin1Char('\r') + u'【' + folder +
                        u'】',
                    MessageStyle::Warning, mainCaption());

    // Cut the main window's folder back to its nearest existing parent, which the main window
    // then opens. "/x" cuts back to "/"; every pass shortens the text, so the loop ends.
    while (lastError == ErrorNumber::PathNotFound) {
        const QString text = m_mainComboPath.text();
        const qsizetype cut = text.lastIndexOf(kPathSeparator);
        if (cut < 0)
            break;
        const QString parent = cut == 0 ? QString(kPathSeparator) : text.left(cut);
        if (parent == text)
            break;
        m_mainComboPath.setText(parent);
        lastError = trySetDirPath(parent);
    }
}

void Form_Dir::Drive_Change()
{
    const QString drive = m_drive->drive();
    // When the drive list only follows the tree (a drop, the window's start), the tree
    // already shows a folder of that drive and stays there.
    if (DriveList::driveOf(m_drive->drives(), m_dir->path()) == drive)
        return;
    if (trySetDirPath(drive) != 0)
        m_drive->setDriveQuietly(m_dir->path());
}

void Form_Dir::Dir_Change()
{
    m_file->clear();
    m_file->addItems(listDirectory(FolderTree::childPath(m_dir->path(), QStringLiteral("*")),
                                   ListAttributes::Normal));
}

void Form_Dir::Dir_OLEDragDrop(const QMimeData& dropped)
{
    const QString path = firstDroppedPath(dropped);
    if (path.isEmpty())
        return;
    // A dropped file is no folder to open; its drive is still shown.
    trySetDirPath(path);
    m_drive->setDrive(path);
}

void Form_Dir::Command_Click(int Index)
{
    switch (Index) {
    case AddCommand:
        Mod_Varnox::Ini_Folder_Add(m_dir->path(), m_mainComboPath);
        break;
    case DeleteCommand: {
        QtComboBox registered(m_comboPath);
        Mod_Varnox::Ini_Folder_Delete(registered, m_mainComboPath);
        break;
    }
    default:
        break;
    }
    accept();
}

int Form_Dir::trySetDirPath(const QString& path)
{
    try {
        m_dir->setPath(path);
        return 0;
    } catch (const Error& error) {
        return error.number();
    }
}

} // namespace folivo
