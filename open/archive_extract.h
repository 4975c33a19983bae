#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace folivo::Mod_Varnox {

/// The result of Zip_Extract and Lzh_Extract when the archiver library cannot be used.
inline constexpr std::int32_t kArchiverMissing = -99999;

/// 1 for a ZIP archive, 2 for an LZH archive, 0 otherwise; judged by the name's last four
/// characters without regard to case.
std::int32_t Archive_Check(const QString& name);

/// The archiver command lines: options, the quoted archive, the quoted temporary folder with
/// its trailing separator, and the pattern for all members.
QString zipCommandLine(const QString& archive, const QString& tmpFolder);
QString lzhCommandLine(const QString& archive, const QString& tmpFolder);

/// Unpacks the archive into the temporary folder after emptying it. Returns 0, the
/// library's own failure code, or kArchiverMissing (the folder is then left as it was).
std::int32_t Zip_Extract(quintptr& owner, const QString& archive);
std::int32_t Lzh_Extract(quintptr& owner, const QString& archive);

/// Empties the folder by removing and re-creating it. A missing folder is left missing;
/// every failure is swallowed.
void Tmp_Clear(const QString& folder, quintptr owner);

} // namespace folivo::Mod_Varnox
