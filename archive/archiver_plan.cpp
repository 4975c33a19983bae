#include "archive/archiver_plan.h"

#include "archive/archive_member_names.h"
#include "archive/archiver.h"
#include "archive/zip_directory.h"
#include "platform/path_separator.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <limits>

namespace folivo::Archiver {
namespace {

constexpr int kMaxHeaderRetries = 8;

std::optional<QByteArray> storedName(archive_entry* entry, Format format)
{
    const char* name = archive_entry_pathname(entry);
    if (!name)
        return std::nullopt;
    if (format == Format::Lzh)
        return QString::fromUtf8(name).toLatin1();
    return QByteArray(name);
}

/// One header as the first reading found it.
struct Header {
    int index = 0;
    std::optional<QByteArray> rawName;
    mode_t type = 0;
    bool hardlink = false;
    bool encrypted = false;
    qint64 declaredSize = -1;
    std::optional<std::pair<time_t, long>> mtime;
};

std::vector<Header> readHeaders(archive* reader, Format format, const QSet<int>& encryptedMembers,
                                Outcome& outcome, const HeaderRead& headerRead)
{
    std::vector<Header> headers;
    HeaderWalk walk(reader);
    archive_entry* entry = nullptr;
    for (;;) {
        const HeaderWalk::Step step = walk.next(&entry);
        if (step == HeaderWalk::Step::End)
            break;
        if (step != HeaderWalk::Step::Member) {
            outcome.note(Result::ArchiveDamaged);
            // A 7z or RAR whose headers are encrypted reads as damaged; libarchive knows why.
            if (archive_read_has_encrypted_entries(reader) > 0)
                outcome.noteEncrypted();
            if (step == HeaderWalk::Step::Damaged)
                break;
            continue;
        }
        Header header;
        header.index = walk.position();
        header.rawName = storedName(entry, format);
        header.type = archive_entry_filetype(entry);
        header.hardlink = archive_entry_hardlink(entry) != nullptr;
        header.encrypted =
            archive_entry_is_encrypted(entry) || encryptedMembers.contains(header.index);
        if (archive_entry_size_is_set(entry))
            header.declaredSize = std::max<qint64>(0, archive_entry_size(entry));
        if (archive_entry_mtime_is_set(entry))
            header.mtime = {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
        headers.push_back(std::move(header));
        if (headerRead && !headerRead())
            break;
    }
    return headers;
}

/// Decides how the archive's names are decoded, from their raw bytes.
class NameDecoder {
public:
    NameDecoder(const std::vector<Header>& headers, const ZipDirectory& zipDirectory)
    {
        QList<QByteArray> rawNames;
        for (const Header& header : headers)
            if (header.rawName)
                rawNames.append(*header.rawName);
        m_encoding = chooseNameEncoding(rawNames);
        // UTF-8-flagged names may sit beside CP932 ones in an archive from Windows.
        if (m_encoding == NameEncoding::Cp932)
            m_flaggedUtf8 = zipUtf8FlaggedNames(zipDirectory);
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

void addFolderWithParents(Plan& plan, const QStringList& parts, qsizetype count)
{
    for (qsizetype n = 1; n <= count; ++n)
        plan.folders.try_emplace(parts.first(n).join(kPathSeparator));
}

// Written one after the other, the last member of a name wins. Written by workers at the
// same time, two members of one name would overwrite, or remove, each other's file.
void keepLastOfEachName(std::vector<FileMember>& files)
{
    QHash<QString, size_t> last;
    for (size_t i = 0; i < files.size(); ++i)
        last.insert(files[i].relativePath, i);
    if (static_cast<size_t>(last.size()) == files.size())
        return;
    std::vector<FileMember> kept;
    for (size_t i = 0; i < files.size(); ++i)
        if (last.value(files[i].relativePath) == i)
            kept.push_back(std::move(files[i]));
    files = std::move(kept);
}

Plan makePlan(const std::vector<Header>& headers, const NameDecoder& names, Outcome& outcome)
{
    Plan plan;
    for (const Header& header : headers) {
        const std::optional<QStringList> parts =
            header.rawName ? memberPathParts(names.decode(*header.rawName)) : std::nullopt;
        if (!parts) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }
        // Resource forks that the macOS archiver adds beside every file are not pages.
        if (parts->isEmpty() || parts->first() == QLatin1String("__MACOSX"))
            continue;
        if (header.encrypted) {
            outcome.noteEncrypted();
            continue;
        }
        if ((header.type != AE_IFREG && header.type != AE_IFDIR) || header.hardlink) {
            outcome.note(Result::MembersLeftOut);
            continue;
        }
        if (header.type == AE_IFDIR) {
            addFolderWithParents(plan, *parts, parts->size());
            plan.folders[parts->join(kPathSeparator)] = header.mtime;
            continue;
        }
        addFolderWithParents(plan, *parts, parts->size() - 1);
        plan.files.push_back({header.index, parts->join(kPathSeparator), header.declaredSize});
    }
    keepLastOfEachName(plan.files);
    for (const FileMember& file : plan.files) {
        const qint64 room = std::numeric_limits<qint64>::max() - plan.declaredBytes;
        plan.declaredBytes += std::min(room, std::max<qint64>(0, file.declaredSize));
    }
    return plan;
}

} // namespace

Utf8CtypeScope::Utf8CtypeScope()
    : m_locale(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr)))
{
    if (m_locale)
        m_previous = ::uselocale(m_locale);
}

Utf8CtypeScope::~Utf8CtypeScope()
{
    if (m_locale) {
        ::uselocale(m_previous);
        ::freelocale(m_locale);
    }
}

void ReaderDeleter::operator()(archive* a) const
{
    archive_read_free(a);
}

// Names are decoded here, where the whole archive can be looked at first, so libarchive is
// asked to hand them over as stored. ZIP names come as stored when no conversion is set
// (UTF-8-flagged ones as UTF-8). The LHa reader gives up on bytes that are not valid in the
// locale, so it reads them as ISO-8859-1, which maps every byte to one character and back.
// The other readers hand over names in a stated encoding (UTF-16 in 7z and in a RAR 4 member
// flagged as Unicode, UTF-8 in RAR 5, pax headers) converted to the thread's UTF-8, and every
// other name (plain tar, older RAR 4) as stored.
Reader openReader(const QString& path, Format format)
{
    Reader reader(archive_read_new());
    if (!reader)
        return nullptr;
    switch (format) {
    case Format::Zip:
        archive_read_support_format_zip(reader.get());
        break;
    case Format::Lzh:
        archive_read_support_format_lha(reader.get());
        archive_read_set_format_option(reader.get(), "lha", "hdrcharset", "ISO-8859-1");
        break;
    case Format::Other:
        // Comic books are often renamed between .cbr and .cbz: a ZIP named as a RAR is read
        // all the same (by libarchive's own reader, without the ZIP road's direct one).
        archive_read_support_format_zip(reader.get());
        archive_read_support_format_rar(reader.get());
        archive_read_support_format_rar5(reader.get());
        archive_read_support_format_7zip(reader.get());
        archive_read_support_format_tar(reader.get());
        archive_read_support_filter_gzip(reader.get());
        archive_read_support_filter_bzip2(reader.get());
        archive_read_support_filter_xz(reader.get());
        break;
    }
    if (archive_read_open_filename(reader.get(), QFile::encodeName(path).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return nullptr;
    return reader;
}

HeaderWalk::Step HeaderWalk::next(archive_entry** entry)
{
    for (int retries = 0;;) {
        const int r = archive_read_next_header(m_reader, entry);
        if (r == ARCHIVE_EOF)
            return Step::End;
        if (r == ARCHIVE_RETRY) {
            if (++retries > kMaxHeaderRetries)
                return Step::Damaged;
            continue;
        }
        if (r == ARCHIVE_FATAL)
            return Step::Damaged;
        ++m_position;
        // A warning is about this member only.
        return r == ARCHIVE_FAILED ? Step::Unreadable : Step::Member;
    }
}

bool HeaderWalk::seek(int index, archive_entry** entry)
{
    while (m_position <= index) {
        const Step step = next(entry);
        if (step == Step::End || step == Step::Damaged)
            return false;
        if (m_position == index + 1)
            return step == Step::Member;
    }
    return false;
}

Plan readPlan(archive* reader, Format format, const PlanHints& hints, Outcome& outcome,
              const HeaderRead& headerRead)
{
    const std::vector<Header> headers =
        readHeaders(reader, format, hints.encryptedMembers, outcome, headerRead);
    return makePlan(headers, NameDecoder(headers, hints.zipDirectory), outcome);
}

} // namespace folivo::Archiver
