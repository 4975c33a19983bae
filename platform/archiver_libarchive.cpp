#include "platform/archiver.h"

#include "platform/archive_member_names.h"
#include "platform/archiver_testing.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/path_separator.h"

#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

#include <locale.h>
#include <unistd.h>

namespace folivo::Archiver {
namespace {

std::atomic<bool> zipUsable{true};
std::atomic<bool> lzhUsable{true};

enum class Format { Zip, Lzh };

const QLatin1StringView kZipOptions("-x -o -q ");
const QLatin1StringView kLzhOptions("x -d1 -y1 ");
const QLatin1StringView kAllMembers("\" *.*");
const QLatin1StringView kBetweenPaths("\" \"");

struct CommandLine {
    QString archive;
    QString destination;
};

// options "<archive>" "<destination>/" *.*
// The archive path comes from the user and may hold anything; the destination is the
// program's own folder. So the two are split at the last quote-blank-quote.
std::optional<CommandLine> parseCommandLine(const QString& line, QLatin1StringView options)
{
    if (!line.startsWith(options) || !line.endsWith(kAllMembers))
        return std::nullopt;
    const QString quoted =
        line.mid(options.size(), line.size() - options.size() - kAllMembers.size());
    if (!quoted.startsWith(QLatin1Char('"')))
        return std::nullopt;
    const QString paths = quoted.mid(1);
    const qsizetype split = paths.lastIndexOf(kBetweenPaths);
    if (split <= 0)
        return std::nullopt;
    CommandLine result{paths.left(split), paths.mid(split + kBetweenPaths.size())};
    if (result.destination.size() < 2 || !result.destination.endsWith(kPathSeparator))
        return std::nullopt;
    result.destination.chop(1);
    return result;
}

/// libarchive hands names over in the locale's code set; "C" (a bare CI environment) would
/// turn every non-ASCII UTF-8 name into a failed conversion. This thread reads archives
/// under C.UTF-8 while the scope lives, without touching the program's own locale.
class Utf8CtypeScope {
public:
    Utf8CtypeScope()
        : m_locale(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr)))
    {
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~Utf8CtypeScope()
    {
        if (m_locale) {
            ::uselocale(m_previous);
            ::freelocale(m_locale);
        }
    }
    Utf8CtypeScope(const Utf8CtypeScope&) = delete;
    Utf8CtypeScope& operator=(const Utf8CtypeScope&) = delete;

private:
    locale_t m_locale;
    locale_t m_previous = LC_GLOBAL_LOCALE;
};

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;
using Writer = std::unique_ptr<archive, WriterDeleter>;

// Names are decoded here, where the whole archive can be looked at first, so libarchive is
// asked to hand them over as stored. ZIP names come as stored when no conversion is set
// (UTF-8-flagged ones as UTF-8). The LHa reader gives up on bytes that are not valid in the
// locale, so it reads them as ISO-8859-1, which maps every byte to one character and back.
Reader openReader(const QString& path, Format format)
{
    Reader reader(archive_read_new());
    if (!reader)
        return nullptr;
    if (format == Format::Zip) {
        archive_read_support_format_zip(reader.get());
    } else {
        archive_read_support_format_lha(reader.get());
        archive_read_set_format_option(reader.get(), "lha", "hdrcharset", "ISO-8859-1");
    }
    if (archive_read_open_filename(reader.get(), QFile::encodeName(path).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return nullptr;
    return reader;
}

std::optional<QByteArray> storedName(archive_entry* entry, Format format)
{
    const char* name = archive_entry_pathname(entry);
    if (!name)
        return std::nullopt;
    if (format == Format::Lzh)
        return QString::fromUtf8(name).toLatin1();
    return QByteArray(name);
}

Writer openWriter()
{
    Writer writer(archive_write_disk_new());
    // Member paths are checked and joined to the destination before they get here; the
    // flags are a second guard, against ".." and against writing through a link that was
    // already lying in the destination.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    return writer;
}

/// Decides how the archive's names are decoded, from their raw bytes.
class NameDecoder {
public:
    NameDecoder(const QString& archivePath, Format format)
    {
        QList<QByteArray> rawNames;
        if (Reader reader = openReader(archivePath, format)) {
            archive_entry* entry = nullptr;
            for (int retries = 0;;) {
                const int r = archive_read_next_header(reader.get(), &entry);
                if (r == ARCHIVE_EOF || r == ARCHIVE_FATAL || (r == ARCHIVE_RETRY && ++retries > 8))
                    break;
                if (r != ARCHIVE_RETRY)
                    if (const std::optional<QByteArray> name = storedName(entry, format))
                        rawNames.append(*name);
            }
        }
        m_encoding = chooseNameEncoding(rawNames);
        // UTF-8-flagged names may sit beside CP932 ones in an archive from Windows.
        if (format == Format::Zip && m_encoding == NameEncoding::Cp932)
            m_flaggedUtf8 = zipUtf8FlaggedNames(archivePath);
    }

    QString decode(const QByteArray& raw) const
    {
        if (m_encoding == NameEncoding::Cp932 && !m_flaggedUtf8.isEmpty() && isValidUtf8(raw)) {
            const QString asUtf8 = decodeMemberName(raw, NameEncoding::Utf8);
            if (m_flaggedUtf8.contains(asUtf8))
                return asUtf8;
        }
        return decodeMemberName(raw, m_encoding);
    }

private:
    NameEncoding m_encoding = NameEncoding::Utf8;
    QSet<QString> m_flaggedUtf8;
};

/// Collects what went wrong; the code returned is the worst.
struct Outcome {
    int code = Result::Success;
    void note(int result) { code = std::max(code, result); }
};

enum class Copy { Done, DataWrong, ReadFailed, ReadStopped, WriteFailed, WriterBroken };

Copy copyData(archive* reader, archive* writer)
{
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(reader, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return Copy::Done;
        if (r == ARCHIVE_WARN)
            return Copy::DataWrong; // a checksum mismatch at the member's end
        if (r == ARCHIVE_FATAL)
            return Copy::ReadStopped;
        if (r < ARCHIVE_OK)
            return Copy::ReadFailed;
        const la_ssize_t w = archive_write_data_block(writer, block, size, offset);
        if (w == ARCHIVE_FATAL)
            return Copy::WriterBroken;
        if (w < ARCHIVE_OK)
            return Copy::WriteFailed;
    }
}

int extract(const QString& commandLine, QLatin1StringView options, Format format)
{
    const std::optional<CommandLine> parsed = parseCommandLine(commandLine, options);
    if (!parsed)
        return Result::BadCommandLine;

    const Utf8CtypeScope utf8;
    Reader reader = openReader(parsed->archive, format);
    if (!reader)
        return Result::CannotOpenArchive;
    const NameDecoder names(parsed->archive, format);

    // Before the first extraction the folder may not exist yet; its parent (the install
    // folder) does.
    if (!isFolder(parsed->destination)) {
        try {
            makeFolder(parsed->destination);
        } catch (const Error&) {
            return Result::NoDestination;
        }
    }
    // Links above the destination are the user's business; resolving them here keeps the
    // symlink guard to what lies inside it.
    const QString destination = QFileInfo(parsed->destination).canonicalFilePath();
    if (destination.isEmpty())
        return Result::NoDestination;

    Outcome outcome;
    Writer writer = openWriter();
    archive_entry* entry = nullptr;
    for (int retries = 0;;) {
        const int r = archive_read_next_header(reader.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r == ARCHIVE_RETRY) {
            if (++retries > 8) {
                outcome.note(Result::ArchiveDamaged);
                break;
            }
            continue;
        }
        retries = 0;
        if (r == ARCHIVE_FATAL) {
            outcome.note(Result::ArchiveDamaged);
            break;
        }
        if (r == ARCHIVE_FAILED) {
            outcome.note(Result::ArchiveDamaged);
            continue;
        }
        // ARCHIVE_OK or ARCHIVE_WARN: a warning is about this member only.
        const std::optional<QByteArray> raw = storedName(entry, format);
        if (!raw) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }
        const std::optional<QStringList> parts = memberPathParts(names.decode(*raw));
        if (!parts) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }
        // Resource forks that the macOS archiver adds beside every file are not pages.
        if (parts->isEmpty() || parts->first() == QLatin1String("__MACOSX"))
            continue;
        const auto type = archive_entry_filetype(entry);
        if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry) ||
            archive_entry_is_encrypted(entry)) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }

        const QByteArray target =
            QFile::encodeName(destination + kPathSeparator + parts->join(kPathSeparator));
        archive_entry_copy_pathname(entry, target.constData());
        // Modes from the archive could make a folder that the next Tmp_Clear cannot empty.
        archive_entry_set_perm(entry, type == AE_IFDIR ? 0777 : 0666);
        const int h = archive_write_header(writer.get(), entry);
        if (h < ARCHIVE_WARN) {
            outcome.note(Result::WriteFailed);
            if (h == ARCHIVE_FATAL)
                writer = openWriter();
            continue;
        }
        const Copy copy = type == AE_IFREG ? copyData(reader.get(), writer.get()) : Copy::Done;
        const int f = archive_write_finish_entry(writer.get());
        bool keep = true;
        switch (copy) {
        case Copy::Done:
            if (f < ARCHIVE_WARN)
                outcome.note(Result::WriteFailed);
            break;
        case Copy::DataWrong:
            outcome.note(Result::ArchiveDamaged);
            break;
        case Copy::ReadFailed:
        case Copy::ReadStopped:
            outcome.note(Result::ArchiveDamaged);
            keep = false;
            break;
        case Copy::WriteFailed:
        case Copy::WriterBroken:
            outcome.note(Result::WriteFailed);
            keep = false;
            break;
        }
        // A cut-off page would be shown as a broken picture; what stays is whole.
        if (!keep)
            ::unlink(target.constData());
        if (copy == Copy::WriterBroken || f == ARCHIVE_FATAL)
            writer = openWriter();
        if (copy == Copy::ReadStopped)
            break;
    }
    return outcome.code;
}

} // namespace

int UnZipGetVersion()
{
    return zipUsable ? archive_version_number() : 0;
}

int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize)
{
    // Nothing is written back: callers pass an empty buffer of size 0.
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, kZipOptions, Format::Zip);
}

int UnlhaGetVersion()
{
    return lzhUsable ? archive_version_number() : 0;
}

int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize)
{
    Q_UNUSED(owner);
    Q_UNUSED(output);
    Q_UNUSED(outputSize);
    return extract(commandLine, kLzhOptions, Format::Lzh);
}

void setLibraryUsable(Library library, bool usable)
{
    (library == Library::Zip ? zipUsable : lzhUsable) = usable;
}

} // namespace folivo::Archiver
