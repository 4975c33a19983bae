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
#include "settings/reading_options.h"
#include "settings/resume.h"
#include "view/page_list.h"

#include <QDir>

#include <functional>

namespace folivo {
namespace {

const QString kFailedTitle = QStringLiteral("Failed");
const QString kFileNameOpen = QStringLiteral("ファイル名　[");
const QString kFileNameClose = QStringLiteral("]");
const QString kCannotHandle = QStringLiteral("拡張子から判断して、そのファイルは扱えません。");
const QString kNotFound = QStringLiteral("そのファイルまたはフォルダが見つかりません。");
const QString kLineBreakInName = QStringLiteral("改行を含む名前は登録できません。");
const QString kCannotExtract = QStringLiteral("自動解凍ができません。");
// ZIP and LZH are both read by libarchive: the package that brings it is what to install.
const QString kInstallArchiver = QStringLiteral(
    "パッケージ[libarchive13]をＣＰＵに導入して下さい。（sudo apt install libarchive13）");
const QString kExtractFailed = QStringLiteral("解凍に失敗しました。");
const QString kMayBeDamaged = QStringLiteral("ファイルが破損している可能性があります。");
const QString kEncrypted = QStringLiteral("暗号化されているため解凍できません。");
const QString kErrorCode = QStringLiteral("Error Code:0x");
const QString kTmpFolderOpen = QStringLiteral("一時フォルダ　[");
const QString kTmpNotOurs =
    QStringLiteral("]　にFolivoが置いたものではないファイルがあるため、空にできません。");
const QString kArchiveInTmp = QStringLiteral("]　の中の書庫は、空にすると消えてしまうため開けません"
                                             "。別のフォルダへコピーしてから開いて下さい。");
const QString kTmpInUse =
    QStringLiteral("]　の本を別のFolivoのウィンドウが読んでいるため、空にできません。"
                   "そのウィンドウを閉じてから開いて下さい。");
const QString kExtractStopped = QStringLiteral("解凍を中止しました。");
const QString kDiskTooSmall = QStringLiteral("]　のディスクの空きが足りません。");
const QString kDiskNeeded = QStringLiteral("必要な空き：");
const QString kDiskNeededAtLeast = QStringLiteral(" 以上");
const QString kDiskMargin = QStringLiteral("（ディスクに残しておく %1 を含む）");
const QString kDiskAvailable = QStringLiteral("空き：");
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

// "1.5 GB", "820.3 MB": what a reader compares with what the file manager says.
QString byteSize(qint64 bytes)
{
    constexpr double kMiB = 1024.0 * 1024.0;
    constexpr double kGiB = kMiB * 1024.0;
    const auto value = static_cast<double>(bytes);
    if (value >= kGiB)
        return QString::number(value / kGiB, 'f', 1) + QStringLiteral(" GB");
    return QString::number(value / kMiB, 'f', 1) + QStringLiteral(" MB");
}

// The temporary folder's disk cannot take the book: how much it needs and how much is free.
QString diskShortageText(const Archiver::DiskShortage& shortage)
{
    return kTmpFolderOpen + tmpFolderPath() + kDiskTooSmall + QLatin1Char('\r') + kDiskNeeded +
           byteSize(shortage.needed) + (shortage.atLeast ? kDiskNeededAtLeast : QString()) +
           kDiskMargin.arg(byteSize(shortage.margin)) + QLatin1Char('\r') + kDiskAvailable +
           byteSize(shortage.available);
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

std::int32_t extractArchive(std::int32_t kind, quintptr& owner, const QString& archive,
                            const Archiver::MemberWatch& watch,
                            Mod_Varnox::ExtractionReport& report,
                            const std::function<void()>& openEarly)
{
    switch (kind) {
    case OpenKind::Zip:
        return Mod_Varnox::Zip_Extract(owner, archive, watch, &report, openEarly);
    case OpenKind::Lzh:
        return Mod_Varnox::Lzh_Extract(owner, archive, watch, &report, openEarly);
    default:
        return Mod_Varnox::Archive_Extract(owner, archive, watch, &report, openEarly);
    }
}

// Whether a failure is told as the book's encryption rather than as possible damage. The
// other books are read only with MoreFormats on; a ZIP is told so too then, as its members
// are left out for the same reason. With the option off, a ZIP is told as it always was.
bool tellsEncryption(std::int32_t kind, const Mod_Varnox::ExtractionReport& report)
{
    if (!report.encrypted)
        return false;
    return kind == OpenKind::OtherArchive ||
           (kind == OpenKind::Zip && ReadingOptions::isOn(ReadingOptions::Option::MoreFormats));
}

std::int32_t openArchive(OpenTargetHost& host, const QString& path, const QString& listed,
                         std::int32_t kind)
{
    // The other books take the ZIP road's messages: they come with the same library's codes.
    const bool zip = kind != OpenKind::Lzh;
    quintptr owner = host.hWnd();
    const QString archive = listedPath(path, listed);
    const QString tmp = tmpFolderPath();
    const Archiver::MemberWatch watch = host.unpackWatch(tmp);
    Mod_Varnox::ExtractionReport report;
    // A large book is read from its first page on while the rest unpacks: the folder is
    // opened as soon as the page its listing shows first is out.
    bool openedEarly = false;
    const std::uint64_t endsBefore = Mod_Varnox::unpackingEnds();
    const auto openEarly = [&] {
        Resume::archiveUnpacked(archive);
        openFolder(host, tmp);
        openedEarly = true;
    };
    const std::int32_t result = extractArchive(kind, owner, archive, watch, report, openEarly);
    // Something else was opened meanwhile, and ended this unpacking first: it is on screen,
    // and this book has nothing more to say.
    if (openedEarly && Mod_Varnox::unpackingEnds() != endsBefore)
        return kind;
    if (result == Mod_Varnox::kArchiverMissing) {
        stop(kCannotExtract + kThreeReturns + kInstallArchiver, kFailedTitle);
        return kind;
    }
    const QString refusedPrefix =
        fileNamePrefix(listed) + kExtractFailed + kThreeReturns + kTmpFolderOpen + tmpFolderPath();
    const QString refusedTitle = zip ? mainCaption() : kFailedTitle;
    switch (result) {
    // Nothing was unpacked and the folder holds no archive of ours, or the previous book
    // that the refusal spared: open nothing.
    case Mod_Varnox::kTmpNotOurs:
        stop(refusedPrefix + kTmpNotOurs, refusedTitle);
        return OpenKind::Failed;
    case Mod_Varnox::kArchiveInTmp:
        stop(refusedPrefix + kArchiveInTmp, refusedTitle);
        return OpenKind::Failed;
    case Mod_Varnox::kTmpInUse:
        stop(refusedPrefix + kTmpInUse, refusedTitle);
        return OpenKind::Failed;
    case Mod_Varnox::kDiskTooSmall:
        stop(fileNamePrefix(listed) + kExtractFailed + kThreeReturns +
                 diskShortageText(*report.diskShortage),
             refusedTitle);
        return OpenKind::Failed;
    default:
        break;
    }
    // Whatever came out, the temporary folder's pages are this archive's now.
    if (!openedEarly)
        Resume::archiveUnpacked(archive);
    const bool stopped = result == Archiver::Result::Stopped;
    if (stopped) {
        // The reader's own choice, not a fault of the file: what came out before the stop is
        // opened, and nothing more is said when nothing did.
        ui().messageBox(fileNamePrefix(listed) + kExtractStopped, MessageStyle::Information,
                        mainCaption());
    } else if (report.diskShortage) {
        stop(fileNamePrefix(listed) + kExtractFailed + kThreeReturns +
                 diskShortageText(*report.diskShortage),
             refusedTitle);
    } else if (result != 0 && tellsEncryption(kind, report)) {
        stop(fileNamePrefix(listed) + kExtractFailed + kThreeReturns + kEncrypted, mainCaption());
    } else if (result != 0) {
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

    if (openedEarly) {
        // Its page is on screen, and may have been turned: only the subfolders are left to
        // offer, now that all of them are out.
        if (Mod_Varnox::Folder_Check(tmp) != 0)
            host.Command_GetFolder_Click();
        return kind;
    }
    if (Mod_Varnox::Folder_Check(tmp) == -1) {
        // Nothing of this program's is read from the folder: another may empty it.
        Mod_Varnox::followShownFolder(trimBlanks(host.comboPath().text()));
        if (stopped)
            return kind;
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

// The kind of archive a listed name names, OpenKind::Zip, Lzh or OtherArchive; 0 for anything
// else.
std::int32_t archiveKind(const QString& listed)
{
    switch (Mod_Varnox::Archive_Check(listed)) {
    case 1:
        return OpenKind::Zip;
    case 2:
        return OpenKind::Lzh;
    case 3:
        return OpenKind::OtherArchive;
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

QString folderPathAsNamed(const QString& path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == kPathSeparator)
        --end;
    if (end == path.size() || path.at(end - 1) == kPathSeparator)
        return path; // no trailing separator, or the root itself
    const QString folder = path.left(end);
    return isFolder(folder) ? folder : path;
}

std::int32_t Open_Target(OpenTargetHost& host, const QString& givenPath)
{
    // A book read while it unpacks stops unpacking before anything else is opened: its
    // pages would otherwise keep coming into the folder the next book may need.
    Mod_Varnox::endUnpacking();
    if (trimBlanks(givenPath).isEmpty())
        return openCurrent(host);
    const QString path = folderPathAsNamed(givenPath);
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

void Open_Target_Ahead(const QString& givenPath)
{
    // The same steps as Open_Target's up to its extraction, in the same order.
    if (trimBlanks(givenPath).isEmpty() || hasLineBreak(givenPath))
        return;
    const QString path = folderPathAsNamed(givenPath);
    const QString listed = listedName(path);
    const std::int32_t kind = archiveKind(listed);
    if (kind == OpenKind::Zip)
        Mod_Varnox::Zip_Extract_Ahead(listedPath(path, listed));
    else if (kind == OpenKind::Lzh)
        Mod_Varnox::Lzh_Extract_Ahead(listedPath(path, listed));
    else if (kind == OpenKind::OtherArchive)
        Mod_Varnox::Archive_Extract_Ahead(listedPath(path, listed));
}

} // namespace folivo
