#pragma once

#include "archive/archiver.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <optional>

namespace folivo::Mod_Varnox {

/// The result of Zip_Extract, Lzh_Extract and Archive_Extract when the archiver library cannot
/// be used.
inline constexpr std::int32_t kArchiverMissing = -99999;
/// The result when the temporary folder holds what Folivo did not put there: it is left as
/// it was and nothing is unpacked.
inline constexpr std::int32_t kTmpNotOurs = -99998;
/// The result when the archive itself lies inside the temporary folder, where emptying the
/// folder would delete it before it is read: nothing is touched.
inline constexpr std::int32_t kArchiveInTmp = -99997;

/// The result when another Folivo program is reading a book from the temporary folder: it is
/// left as it was and nothing is unpacked.
inline constexpr std::int32_t kTmpInUse = -99996;
/// The result when the archive would not fit on the temporary folder's disk, even once the
/// folder's old content is gone: nothing is touched (ExtractionReport tells the sizes).
inline constexpr std::int32_t kDiskTooSmall = -99995;

/// What an extraction tells beyond its result.
struct ExtractionReport {
    /// Set when the disk was found too small: before anything was touched (the result is then
    /// kDiskTooSmall), or while members that declare no size were written.
    std::optional<Archiver::DiskShortage> diskShortage;
    /// Set when members were left out, or nothing could be read, for their encryption.
    bool encrypted = false;
};

/// The file that marks the temporary folder as Folivo's own (hidden from every listing).
inline constexpr QLatin1StringView kTmpMarkerName(".folivo-tmp");

/// 1 for a ZIP archive, 2 for an LZH archive, 0 otherwise; judged by the name's last four
/// characters without regard to case. With the reading option MoreFormats on, also 1 for a
/// .cbz, and 3 for the books that Archive_Extract unpacks: .rar .cbr .7z .cb7 .tar .cbt, and
/// the compressed tars .tar.gz .tgz .tar.bz2 .tbz2 .tar.xz .txz (judged by the name's end).
std::int32_t Archive_Check(const QString& name);

/// Unpacks the archive into the temporary folder after emptying it. Returns 0, the
/// library's own failure code, or kArchiverMissing, kTmpNotOurs, kTmpInUse, kArchiveInTmp or
/// kDiskTooSmall (the folder is then left as it was). The folder is emptied only once the
/// archive has been read and found to fit on the disk. Runs the event loop while it unpacks
/// and, when that takes long, shows a progress window over the owner window
/// (extractionFeedback()). `watch` is told of the files as they are written, from the
/// unpacking threads. While it unpacks, this program holds the temporary folder alone; after,
/// it holds it as a reader (tmpFolderLock()).
/// With `openEarly`, the page the temporary folder's listing shows first is unpacked before
/// the others, and once it is out `openEarly` runs on this thread to open the folder while the
/// rest unpacks; the reader may then read, turn pages and stop the unpacking, and
/// endUnpacking() ends it (extractionFeedback()). Not run when the archive has no such page,
/// when it fails to come out, or when the extraction runs in place.
std::int32_t Zip_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch = Archiver::MemberWatch(),
                         ExtractionReport* report = nullptr,
                         const std::function<void()>& openEarly = {});
std::int32_t Lzh_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch = Archiver::MemberWatch(),
                         ExtractionReport* report = nullptr,
                         const std::function<void()>& openEarly = {});
/// The same for the archives of Archive_Check's kind 3 (RAR, 7z, tar).
std::int32_t Archive_Extract(quintptr& owner, const QString& archive,
                             const Archiver::MemberWatch& watch = Archiver::MemberWatch(),
                             ExtractionReport* report = nullptr,
                             const std::function<void()>& openEarly = {});

/// Before something else is opened while a book is read as it unpacks: ends that unpacking
/// as 中止 would, and returns once nothing more is written. Counts as an end (unpackingEnds())
/// whether one was running or not.
void endUnpacking();
/// How many times endUnpacking() has been called: an open procedure that finds it changed
/// after its extraction knows another open took over meanwhile.
std::uint64_t unpackingEnds();

/// At start-up, while the window is being built: when opening the command line's path will
/// unpack this archive, empties the temporary folder and starts unpacking it now, on other
/// threads. The Zip_Extract, Lzh_Extract or Archive_Extract of that archive that comes then takes
/// the extraction over (its watch and progress window hear of what was done meanwhile) and returns
/// what it would have; an extraction of anything else waits until this one has ended.
void Zip_Extract_Ahead(const QString& archive);
void Lzh_Extract_Ahead(const QString& archive);
void Archive_Extract_Ahead(const QString& archive);

/// After a page of `folder` is shown: holds the temporary folder as a reader when the folder
/// lies in it, lets it go otherwise.
void followShownFolder(const QString& folder);

} // namespace folivo::Mod_Varnox
