#include "settings/resume.h"

#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "platform/work_pool.h"
#include "settings/reading_options.h"
#include "store/profile_file.h"
#include "view/page_list.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <mutex>
#include <optional>

namespace folivo::Resume {
namespace {

const auto kResumeSection = QStringLiteral("Resume");
const auto kUnpackedSection = QStringLiteral("Unpacked");
const auto kUnpackedKey = QStringLiteral("Archive");
constexpr QChar kSeparator = u'|';

/// An archive as it is now: its path, size and modification time; "" when it is not there.
QString archiveIdentity(const QString& archive)
{
    const QFileInfo info(archive);
    if (!info.isFile())
        return QString();
    return QStringLiteral("%1%2%3%2%4")
        .arg(info.absoluteFilePath(), kSeparator)
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch());
}

/// The path of an identity made by archiveIdentity (the path itself may hold the separator).
QString identityPath(const QString& identity)
{
    const qsizetype time = identity.lastIndexOf(kSeparator);
    const qsizetype size = time > 0 ? identity.lastIndexOf(kSeparator, time - 1) : -1;
    return size > 0 ? identity.left(size) : QString();
}

// The archive unpacked by this run, known whether or not Resume is on.
QString& unpackedThisRun()
{
    static QString identity;
    return identity;
}

// Whether the options file names the archive unpacked by this run.
bool& unpackedKept()
{
    static bool kept = false;
    return kept;
}

// The archive unpacked by this run is kept for the next runs only for a reader who resumes:
// with every option off the options file is never written.
void keepUnpacked()
{
    if (unpackedKept() || unpackedThisRun().isEmpty() ||
        !ReadingOptions::isOn(ReadingOptions::Option::Resume))
        return;
    unpackedKept() = Profile::writeString(kUnpackedSection, kUnpackedKey, unpackedThisRun(),
                                          ReadingOptions::optionsFilePath()) > 0;
}

QString recordedUnpacked()
{
    if (!unpackedThisRun().isEmpty())
        return unpackedThisRun();
    QString identity;
    Profile::getString(kUnpackedSection, kUnpackedKey, QString(), identity, 32768,
                       ReadingOptions::optionsFilePath());
    return identity;
}

/// Which book a folder's pages belong to, and where in the book the folder lies.
struct Book {
    /// The name the book is remembered under in the options file.
    QString key;
    /// The folder's path inside the book: "" for the book's own folder, "sub/" for a
    /// subfolder of an unpacked archive.
    QString prefix;
};

std::optional<Book> bookOf(const QString& folder)
{
    if (folder.isEmpty())
        return std::nullopt;
    QString identity;
    QString prefix;
    const QString tmp = tmpFolderPath();
    if (folder == tmp || folder.startsWith(tmp + kPathSeparator)) {
        identity = recordedUnpacked();
        // A changed or vanished archive is another book: its old place means nothing.
        if (identity.isEmpty() || archiveIdentity(identityPath(identity)) != identity)
            return std::nullopt;
        identity.prepend(QStringLiteral("archive:"));
        if (folder != tmp)
            prefix = folder.mid(tmp.size() + 1) + kPathSeparator;
    } else {
        identity = QStringLiteral("folder:") + folder;
    }
    // Paths may hold anything a key cannot ("=", "[", letters the file compares without
    // regard to case): the key is a digest of the identity.
    const QByteArray digest =
        QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return Book{QStringLiteral("b") + QString::fromLatin1(digest), prefix};
}

/// The page a remembered value names: "<time>|<path in the book>".
QString pageOfValue(const QString& value)
{
    const qsizetype separator = value.indexOf(kSeparator);
    return separator < 0 ? QString() : value.mid(separator + 1);
}

qint64 timeOfValue(const QString& value)
{
    return value.left(value.indexOf(kSeparator)).toLongLong();
}

/// The one page waiting to be written, the latest shown.
struct Pending {
    std::mutex mutex;
    std::optional<std::pair<QString, QString>> entry;
    QString lastWritten;
};

Pending& pending()
{
    static Pending state;
    return state;
}

WorkPool& writer()
{
    // Never destroyed: a write may still be due while the program ends (flush() waits).
    static auto* const pool = new WorkPool(1, WorkPool::Priority::Background);
    return *pool;
}

/// Writes the page waiting, into `file`: named on the window's thread, as the writer reads
/// no environment.
void writePending(const QString& file)
{
    std::pair<QString, QString> entry;
    {
        std::lock_guard lock(pending().mutex);
        if (!pending().entry)
            return;
        entry = *std::move(pending().entry);
        pending().entry.reset();
    }
    // Read and written as one step, so that another window's books are kept.
    const Profile::ExclusiveAccess access(file);
    Profile::Entries entries = Profile::sectionEntries(kResumeSection, file);
    entries.removeIf([&](const auto& stored) {
        return stored.first.compare(entry.first, Qt::CaseInsensitive) == 0;
    });
    entries.prepend(entry);
    if (entries.size() > kMaxBooks) {
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return timeOfValue(a.second) > timeOfValue(b.second);
        });
        entries.resize(kMaxBooks);
    }
    // A page that cannot be recorded costs its place, not the reading: no message on a turn.
    Profile::writeSection(kResumeSection, entries, file);
}

} // namespace

void archiveUnpacked(const QString& archive)
{
    unpackedThisRun() = archiveIdentity(archive);
    unpackedKept() = false;
    keepUnpacked();
}

QString unpackedArchive()
{
    const QString identity = recordedUnpacked();
    if (identity.isEmpty() || archiveIdentity(identityPath(identity)) != identity)
        return QString();
    return identityPath(identity);
}

QString placeOf(const QString& folder)
{
    if (!ReadingOptions::isOn(ReadingOptions::Option::Resume))
        return QString();
    const std::optional<Book> book = bookOf(folder);
    if (!book)
        return QString();
    flush();
    QString value;
    Profile::getString(kResumeSection, book->key, QString(), value, 32768,
                       ReadingOptions::optionsFilePath());
    const QString page = pageOfValue(value);
    if (page.isEmpty() || !page.startsWith(book->prefix))
        return QString();
    const QString name = page.mid(book->prefix.size());
    if (name.contains(kPathSeparator) || !Mod_Varnox::Picture_Check(name) ||
        !QFileInfo(joinPath(folder, name)).isFile())
        return QString();
    return name;
}

void pageShown(const QString& folder, const QString& page)
{
    if (!ReadingOptions::isOn(ReadingOptions::Option::Resume) || page.isEmpty())
        return;
    const std::optional<Book> book = bookOf(folder);
    if (!book)
        return;
    // Resume may have been turned on since the archive on screen was unpacked.
    keepUnpacked();
    const QString place = book->prefix + page;
    {
        std::lock_guard lock(pending().mutex);
        // The same page again (a zoom, a redraw) changes nothing worth a write.
        if (pending().lastWritten == book->key + kSeparator + place)
            return;
        pending().lastWritten = book->key + kSeparator + place;
        const bool queued = pending().entry.has_value();
        pending().entry = {book->key, QString::number(QDateTime::currentMSecsSinceEpoch()) +
                                          kSeparator + place};
        if (queued)
            return; // the write already waiting takes the latest page
    }
    writer().start([file = ReadingOptions::optionsFilePath()] { writePending(file); });
}

void flush()
{
    writer().waitForDone();
}

} // namespace folivo::Resume
