#include "open/open_target.h"

#include "open/archive_extract.h"
#include "open/folder_check.h"
#include "platform/blanks.h"
#include "platform/combo_box.h"
#include "platform/dir_listing.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "platform/ui_services.h"
#include "settings/ini_file.h"
#include "view/page_list.h"

#include <QDir>

namespace folivo {
namespace {

const QString kFailedTitle = QStringLiteral("Failed");
const QString kFileNameOpen = QStringLiteral("ファイル名　[");
const QString kFileNameClose = QStringLiteral("]");
const QString kCannotHandle = QStringLiteral("拡張子から判断して、そのファイルは扱えません。");
const QString kNotFound = QStringLiteral("そのファイルまたはフォルダが見つかりません。");
const QString kLineBreakInName = QStringLiteral("改行を含む名前は登録できません。");
const QString kCannotExtract = QStringLiteral("自動解凍ができません。");
const QString kInstallUnzip =
    QStringLiteral("ベクター等でＧＥＴし[UNZIP32.DLL]をＣＰＵに導入して下さい。");
const QString kInstallUnlha =
    QStringLiteral("ベクター等でＧＥＴし[UNLHA32.DLL]をＣＰＵに導入して下さい。");
const QString kExtractFailed = QStringLiteral("解凍に失敗しました。");
const QString kMayBeDamaged = QStringLiteral("ファイルが破損している可能性があります。");
const QString kErrorCode = QStringLiteral("Error Code:0x");
const QString kTmpFolderOpen = QStringLiteral("一時フォルダ　[");
const QString kTmpNotOurs =
    QStringLiteral("]　にFolivoが置いたものではないファイルがあるため、空にできません。");
const QString kArchiveInTmp = QStringLiteral("]　の中の書庫は、空にすると消えてしまうため開けません"
                                             "。別のフォルダへコピーしてから開いて下さい。");
const QString kNoValidData = QStringLiteral("自動解凍処理をしましたが、有効なデータが有りません。");

const QString kTwoReturns = QStringLiteral("\r\r");
const QString kThreeReturns = QStringLiteral("\r\r\r");

QString fileNamePrefix(const QString& name)
{
    return kFileNameOpen + name + kFileNameClose + kTwoReturns;
}

void stop(const QString& prompt, const QString& title)
{
    ui().messageBox(prompt, MessageStyle::Stop, title);
}

// The name of the file a path names, as stored on disk; "" for a folder or nothing. A "*"
// or "?" in it belongs to the name: it must not open some other file that it matches.
QString listedName(const QString& path)
{
    const QStringList names = listDirectory(path, ListAttributes::Normal, NameMatch::Literal);
    return names.isEmpty() ? QString() : names.first();
}

// The folder part of a picture's path: everything before its last separator.
QString folderOf(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(kPathSeparator);
    if (cut < 0)
        return QDir::currentPath(); // a bare name lies in the current folder
    if (cut == 0)
        return QString(kPathSeparator); // a picture right under the root
    return path.left(cut);
}

// The path with its last part spelled as the listing stores it: on a file system that tells
// case apart, "Book.ZIP" found as "book.zip" can only be read under that name.
QString listedPath(const QString& path, const QString& listed)
{
    return path.left(path.lastIndexOf(kPathSeparator) + 1) + listed;
}

void writeCurrent(OpenTargetHost& host)
{
    Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent, settingsFilePath(),
                          trimBlanks(host.comboPath().text()));
}

// Registers a folder, records it as current and shows its first page.
void openFolder(OpenTargetHost& host, const QString& folder)
{
    Mod_Varnox::Ini_Folder_Add(folder, host.comboPath());
    writeCurrent(host);
    host.Combo_Path_Load();
    host.comboPath().setText(folder);
    host.Combo_Path_Click();
}

std::int32_t openCurrent(OpenTargetHost& host)
{
    host.Combo_Path_Load();
    QString current;
    Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent, settingsFilePath(),
                         current);
    if (!trimBlanks(current).isEmpty())
        host.comboPath().setText(current);
    host.Combo_Path_Click();
    return OpenKind::Current;
}

std::int32_t openPicture(OpenTargetHost& host, const QString& path, const QString& listed)
{
    openFolder(host, folderOf(path));
    host.comboFile().setText(listed);
    host.Combo_File_Click();
    return OpenKind::Picture;
}

std::int32_t openArchive(OpenTargetHost& host, const QString& path, const QString& listed,
                         std::int32_t kind)
{
    const bool zip = kind == OpenKind::Zip;
    quintptr owner = host.hWnd();
    const QString archive = listedPath(path, listed);
    const Archiver::MemberWatch watch = host.unpackWatch(tmpFolderPath());
    const std::int32_t result = zip ? Mod_Varnox::Zip_Extract(owner, archive, watch)
                                    : Mod_Varnox::Lzh_Extract(owner, archive, watch);
    if (result == Mod_Varnox::kArchiverMissing) {
        stop(kCannotExtract + kThreeReturns + (zip ? kInstallUnzip : kInstallUnlha), kFailedTitle);
        return kind;
    }
    if (result == Mod_Varnox::kTmpNotOurs || result == Mod_Varnox::kArchiveInTmp) {
        // Nothing was unpacked and the folder holds no archive of ours: open nothing.
        stop(fileNamePrefix(listed) + kExtractFailed + kThreeReturns + kTmpFolderOpen +
                 tmpFolderPath() +
                 (result == Mod_Varnox::kTmpNotOurs ? kTmpNotOurs : kArchiveInTmp),
             zip ? mainCaption() : kFailedTitle);
        return OpenKind::Failed;
    }
    if (result != 0) {
        // What was unpacked before the failure may still be worth reading: go on.
        if (zip) {
            stop(fileNamePrefix(listed) + kExtractFailed + kThreeReturns + kMayBeDamaged,
                 mainCaption());
        } else {
            stop(fileNamePrefix(listed) + kExtractFailed + kErrorCode +
                     QString::number(static_cast<quint32>(result), 16).toUpper(),
                 kFailedTitle);
        }
    }

    const QString tmp = tmpFolderPath();
    if (Mod_Varnox::Folder_Check(tmp) == -1) {
        stop(kNoValidData, kFailedTitle);
        return OpenKind::Failed;
    }
    openFolder(host, tmp);
    if (Mod_Varnox::Folder_Check(tmp) != 0)
        host.Command_GetFolder_Click();
    return kind;
}

// The settings file holds one path per line: such a path could never be recorded.
bool hasLineBreak(const QString& path)
{
    return path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'));
}

// The kind of archive a listed name names, OpenKind::Zip or Lzh; 0 for anything else.
std::int32_t archiveKind(const QString& listed)
{
    switch (Mod_Varnox::Archive_Check(listed)) {
    case 1:
        return OpenKind::Zip;
    case 2:
        return OpenKind::Lzh;
    default:
        return 0;
    }
}

std::int32_t openFolderPath(OpenTargetHost& host, const QString& path)
{
    openFolder(host, path);
    if (Mod_Varnox::Folder_Check(path) != 0)
        host.Command_GetFolder_Click();
    return OpenKind::Folder;
}

} // namespace

std::int32_t Open_Target(OpenTargetHost& host, const QString& path)
{
    if (trimBlanks(path).isEmpty())
        return openCurrent(host);
    // Finding out by failing writes that the path cannot be recorded would end the program,
    // also after a drop.
    if (hasLineBreak(path)) {
        stop(fileNamePrefix(path) + kLineBreakInName, mainCaption());
        return OpenKind::Failed;
    }

    const QString listed = listedName(path);
    if (Mod_Varnox::Picture_Check(listed))
        return openPicture(host, path, listed);
    if (const std::int32_t kind = archiveKind(listed))
        return openArchive(host, path, listed, kind);

    int attributes = 0;
    try {
        attributes = fileAttributes(path);
    } catch (const Error&) {
        // Mistyped, or removed before the drop: say which path, and open nothing.
        stop(fileNamePrefix(path) + kNotFound, mainCaption());
        return OpenKind::Failed;
    }
    if (attributes & FileAttribute::Directory)
        return openFolderPath(host, path);

    stop(fileNamePrefix(listed) + kCannotHandle, mainCaption());
    return OpenKind::Failed;
}

void Open_Target_Ahead(const QString& path)
{
    // The same steps as Open_Target's up to its extraction, in the same order.
    if (trimBlanks(path).isEmpty() || hasLineBreak(path))
        return;
    const QString listed = listedName(path);
    const std::int32_t kind = archiveKind(listed);
    if (kind == OpenKind::Zip)
        Mod_Varnox::Zip_Extract_Ahead(listedPath(path, listed));
    else if (kind == OpenKind::Lzh)
        Mod_Varnox::Lzh_Extract_Ahead(listedPath(path, listed));
}

} // namespace folivo
