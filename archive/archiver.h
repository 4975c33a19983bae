#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace folivo {

/// Stand-in for the archiver libraries UNZIP32.DLL and UNLHA32.DLL, over libarchive, and a
/// third library of the same shape for the other books: RAR (4 and 5), 7z and tar, the tar
/// plain or compressed with gzip, bzip2 or xz.
/// The extraction calls take the same command lines as those libraries: the library's options
/// (commandLineOptions), the quoted archive, the quoted destination with its trailing
/// separator, and the pattern for all members:
///   <options>"<archive>" "<destination>/" *.*
/// They unpack every member with its folder structure into the destination, never outside it.
/// A missing destination folder is created (its parent must exist). Names are decoded per
/// archive: UTF-8 when flagged so or when every name is valid UTF-8, CP932 otherwise (names
/// that the format stores in a stated encoding, as 7z and RAR 5 do, come as UTF-8).
/// The __MACOSX folder of archives made on macOS is not extracted.
/// Members are unpacked by one worker per processor core, each with its own reader, except
/// in an archive whose members are compressed as one stream (a solid RAR or 7z, a compressed
/// tar), which one reader unpacks from start to end.
/// An archive whose members' declared sizes would leave less than a margin of the destination's
/// disk free (5 % of the disk, at most 1 GB) is refused before anything is written, a member
/// whose data grows past its declared size is stopped and removed, and the members that
/// declare no size are counted against the free space as they are written.
/// They return 0 on success and a nonzero code otherwise (also when some members failed):
///   1  the command line is not of the form above
///   2  the archive cannot be opened or is not an archive of that kind
///   3  the destination folder is missing and cannot be created, or the caller's preparation
///      refused
///   4  some members were left out: a name leading outside the destination (absolute or
///      with ".."), a link or another special file, or an encrypted member; also an archive
///      whose headers are encrypted
///   5  some members could not be written (disk full, name too long, ...), or the archive
///      would not leave enough free space on the disk
///   6  the archive is damaged: reading stopped early, a member's data is wrong or longer
///      than its header says
///   7  the progress hook asked to stop
/// When several apply, the highest is returned. Everything that could be extracted is.
namespace Archiver {

/// Which of the libraries: UnZip for ZIP archives, Unlha for LZH ones, Unarchive for RAR, 7z
/// and tar ones.
enum class Format { Zip, Lzh, Other };

/// The options a library's command line starts with, before the quoted archive.
inline QLatin1StringView commandLineOptions(Format format)
{
    switch (format) {
    case Format::Zip:
        return QLatin1StringView("-x -o -q ");
    case Format::Lzh:
        return QLatin1StringView("x -d1 -y1 ");
    case Format::Other:
        break;
    }
    return QLatin1StringView("x -aoa -y ");
}

namespace Result {
constexpr int Success = 0;
constexpr int BadCommandLine = 1;
constexpr int CannotOpenArchive = 2;
constexpr int NoDestination = 3;
constexpr int MembersLeftOut = 4;
constexpr int WriteFailed = 5;
constexpr int ArchiveDamaged = 6;
constexpr int Stopped = 7;
} // namespace Result

/// How far an extraction has come. Totals count the members that will be written and their
/// declared sizes; membersTotal is 0 while the archive's headers are still being read, and
/// bytesTotal is 0 when some member's size is not declared before its data (a ZIP written
/// as a stream, whose sizes follow the data). The archive file's own bytes read, up to the
/// point the furthest reader has come, tell how far it has got whatever the members declare.
struct Progress {
    qint64 membersDone = 0;
    qint64 membersTotal = 0;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    qint64 archiveBytesRead = 0;
    qint64 archiveSize = 0;
};

enum class Reply { Continue, Stop };

/// Called from the extracting threads, never two calls at once, at most about every 50 ms;
/// it must not throw. Stop ends the extraction as a failed one (Result::Stopped); members being
/// written are removed.
using ProgressHook = std::function<Reply(const Progress&)>;

/// What an extraction tells of the files it writes, so that a reader can start on them
/// before the whole archive is out. Called from the extracting threads, two calls possibly at
/// once; neither may throw. Paths are relative to the destination, "/"-separated, as the
/// files are named on disk.
struct MemberWatch {
    /// Once, before the first file is written: every file member that is to be written.
    std::function<void(const QStringList& paths)> planned;
    /// For each of those that is then written whole, its data checked and its time set.
    std::function<void(const QString& path)> written;
    /// Asked once, right after `planned` and on the same thread: the index, among those
    /// paths, of the file to write before every other one (the page a reader will see
    /// first), or -1 for none. Heeded where the members are not one stream: there a file can
    /// only come out in its turn. Once it is out, the other members are written by threads of
    /// lowered priority, which yield the processors to the reader's page turns.
    std::function<qsizetype(const QStringList& paths)> first;
    /// Once, as the extraction call returns, whatever its result: nothing more is written.
    std::function<void()> ended;
};

/// Why the disk was found too small for an archive.
struct DiskShortage {
    /// Free space the archive needs: its bytes and the margin the disk keeps free.
    qint64 needed = 0;
    /// The margin, included in `needed`.
    qint64 margin = 0;
    /// The free space counted: what the disk has free, and what the preparation frees.
    qint64 available = 0;
    /// The archive's members declare no size: it was stopped when its bytes written reached
    /// the free space, and needs at least `needed`.
    bool atLeast = false;
};

/// What the caller does between the archive's first reading and its first write, so that an
/// archive that cannot be unpacked is refused before the destination's old content is gone.
struct Preparation {
    /// Bytes that `prepare` will free on the destination's disk (the destination's old
    /// content), counted as free space; asked only when the archive does not fit without them.
    std::function<qint64()> reclaimableBytes;
    /// Run once, before anything is written and before the destination is made: after the
    /// archive has been read and found to fit, or when it cannot be read at all or was stopped
    /// while it was read. Not run when the disk is too small. `needsReclaimedSpace`: the
    /// archive fits only once the bytes of reclaimableBytes() are really freed. False stops the
    /// extraction (Result::NoDestination).
    std::function<bool(bool needsReclaimedSpace)> prepare;
    /// Told, before the extraction returns Result::WriteFailed, that the disk is too small.
    std::function<void(const DiskShortage&)> diskShort;
    /// Told, before the extraction returns, that members were left out (or nothing could be
    /// read) because they or the archive's headers are encrypted: Folivo reads no password.
    std::function<void()> encrypted;
};

/// What a caller adds to the libraries' own calls: the progress hook, the watch of the files
/// written and the preparation before the first write. Each may be left empty (the
/// initializers let a caller name only the ones it sets).
struct Hooks {
    ProgressHook progress{};
    MemberWatch watch{};
    Preparation preparation{};
};

/// Nonzero when the library can be used; 0 when it cannot.
int UnZipGetVersion();
int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize,
          const Hooks& hooks = Hooks());
int UnlhaGetVersion();
int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize,
          const Hooks& hooks = Hooks());
/// The library of the other books. The kind is told by the archive's bytes, not its name: a
/// ZIP is read too.
int UnarchiveGetVersion();
int Unarchive(quintptr owner, const QString& commandLine, QString& output, int outputSize,
              const Hooks& hooks = Hooks());

} // namespace Archiver
} // namespace folivo
