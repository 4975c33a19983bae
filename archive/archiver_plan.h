#pragma once

// The first reading of an archive, shared by the archiver's parts: which members there are,
// how their names are decoded, and what is to be made of them.

#include "archive/archiver.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <locale.h>

struct archive;
struct archive_entry;

namespace folivo::Archiver {

class ZipDirectory;

/// libarchive hands names over in the locale's code set; "C" (a bare CI environment) would
/// turn every non-ASCII UTF-8 name into a failed conversion. This thread reads archives
/// under C.UTF-8 while the scope lives, without touching the program's own locale.
class Utf8CtypeScope {
public:
    Utf8CtypeScope();
    ~Utf8CtypeScope();
    Utf8CtypeScope(const Utf8CtypeScope&) = delete;
    Utf8CtypeScope& operator=(const Utf8CtypeScope&) = delete;

private:
    locale_t m_locale;
    locale_t m_previous = LC_GLOBAL_LOCALE;
};

struct ReaderDeleter {
    void operator()(archive* a) const;
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;

/// A reader of the archive at path, or null when it is no archive of that format.
Reader openReader(const QString& path, Format format);

/// Collects what went wrong, from every worker; the code returned is the worst.
class Outcome {
public:
    void note(int result)
    {
        int current = m_code.load();
        while (current < result && !m_code.compare_exchange_weak(current, result)) {
        }
    }
    int code() const { return m_code.load(); }
    /// Something was left out, or could not be read, for its encryption.
    void noteEncrypted()
    {
        note(Result::MembersLeftOut);
        m_encrypted = true;
    }
    bool encrypted() const { return m_encrypted.load(); }

private:
    std::atomic<int> m_code{Result::Success};
    std::atomic<bool> m_encrypted{false};
};

/// Steps a reader from header to header. A header that libarchive gives up on still takes
/// its place in the count, so every reader of the same archive numbers members alike.
class HeaderWalk {
public:
    explicit HeaderWalk(archive* reader)
        : m_reader(reader)
    {
    }

    enum class Step { Member, Unreadable, End, Damaged };
    Step next(archive_entry** entry);
    /// Moves on to the member at index; false when it cannot be read.
    bool seek(int index, archive_entry** entry);
    /// The index of the header read last.
    int position() const { return m_position - 1; }

private:
    archive* m_reader;
    int m_position = 0;
};

/// A file to write, where the archive holds it and where it goes.
struct FileMember {
    int index = 0;
    QString relativePath;
    qint64 declaredSize = -1;
};

/// What is to be made: folders first, then files by the workers.
struct Plan {
    std::map<QString, std::optional<std::pair<time_t, long>>> folders; // parents sort first
    std::vector<FileMember> files;
    qint64 declaredBytes = 0;
};

/// Told after each header, while reading one may take as long as the extraction (a ZIP
/// without sizes is inflated to find the next header); false stops the reading.
using HeaderRead = std::function<bool()>;

/// What the archive's own headers tell beside libarchive: a ZIP's central directory (empty
/// for other archives) which names are flagged as UTF-8 among others that are not, and which
/// members are encrypted where libarchive does not say so (by their place in the walk).
struct PlanHints {
    const ZipDirectory& zipDirectory;
    const QSet<int>& encryptedMembers;
};

/// Reads every header and decides what becomes of each member: left out (noted in the
/// outcome), a folder, or a file.
Plan readPlan(archive* reader, Format format, const PlanHints& hints, Outcome& outcome,
              const HeaderRead& headerRead = HeaderRead());

} // namespace folivo::Archiver
