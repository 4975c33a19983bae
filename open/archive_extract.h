#pragma once

#include "platform/archiver.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace folivo::Mod_Varnox {

/// The result of Zip_Extract and Lzh_Extract when the archiver library cannot be used.
inline constexpr std::int32_t kArchiverMissing = -99999;
/// The result when the temporary folder holds what Folivo did not put there: it is left as
/// it was and nothing is unpacked.
inline constexpr std::int32_t kTmpNotOurs = -99998;
/// The result when the archive itself lies inside the temporary folder, where emptying the
/// folder would delete it before it is read: nothing is touched.
inline constexpr std::int32_t kArchiveInTmp = -99997;

/// The file that marks the temporary folder as Folivo's own (hidden from every listing).
inline constexpr QLatin1StringView kTmpMarkerName(".folivo-tmp");

/// 1 for a ZIP archive, 2 for an LZH archive, 0 otherwise; judged by the name's last four
/// characters without regard to case.
std::int32_t Archive_Check(const QString& name);

/// The archiver command lines: options, the quoted archive, the quoted temporary folder with
/// its trailing separator, and the pattern for all members.
QString zipCommandLine(const QString& archive, const QString& tmpFolder);
QString lzhCommandLine(const QString& archive, const QString& tmpFolder);

/// Unpacks the archive into the temporary folder after emptying it. Returns 0, the
/// library's own failure code, or kArchiverMissing, kTmpNotOurs or kArchiveInTmp (the
/// folder is then left as it was). Runs the event loop while it unpacks and, when that takes
/// long, shows a progress window over the owner window (extractionFeedback()).
/// `watch` is told of the files as they are written, from the unpacking threads.
std::int32_t Zip_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch = Archiver::MemberWatch());
std::int32_t Lzh_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch = Archiver::MemberWatch());

/// At start-up, while the window is being built: when opening the command line's path will
/// unpack this archive, empties the temporary folder and starts unpacking it now, on other
/// threads. The Zip_Extract or Lzh_Extract of that archive that comes then takes the
/// extraction over (its watch and progress window hear of what was done meanwhile) and
/// returns what it would have; an extraction of anything else waits until this one has ended.
void Zip_Extract_Ahead(const QString& archive);
void Lzh_Extract_Ahead(const QString& archive);
/// Empties Folivo's temporary folder by renaming it aside and re-creating it, marked as
/// Folivo's; what was set aside (a sibling named "<folder>.old-<pid>-<n>", still marked) is
/// deleted on a background thread, together with any marked sibling of that form an earlier
/// run left. Only a folder that carries the mark is set aside or removed; a missing folder is
/// created and an empty unmarked one adopted. Returns 0 when the folder is ready for
/// extraction, -1 when it is not Folivo's and holds something (it is then left untouched).
/// Failures to remove, create or mark are swallowed: the extraction that follows tells.
std::int32_t Tmp_Clear(const QString& folder, quintptr owner);

/// Waits until the background deletions that Tmp_Clear started have ended.
void waitForBackgroundClearing();

} // namespace folivo::Mod_Varnox
