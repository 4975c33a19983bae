#pragma once

#include <QString>

// Where each book was left, for the reading option Resume, and which archive the temporary
// folder holds, so that its pages are known as that archive's. Both are kept in the options
// file (sections "Resume" and "Unpacked"). A folder is known by its path; an archive by its
// own path, size and modification time, since every archive unpacks into the same folder.
namespace folivo::Resume {

/// Records that the temporary folder now holds the pages of `archive`: for this run, and in
/// the options file while Resume is on, for the next runs.
void archiveUnpacked(const QString& archive);

/// The archive whose pages the temporary folder holds, or "" when none is known (nothing
/// unpacked yet, or the archive is gone or changed since).
QString unpackedArchive();

/// With Resume on, the page of `folder` its book was left on: a picture's name in `folder`
/// that is still there; "" when Resume is off, nothing is known, or the page is gone.
QString placeOf(const QString& folder);

/// With Resume on, records that `page` of `folder` is on screen. The file is written on a
/// thread of its own, the latest page first: a turn never waits for the disk.
void pageShown(const QString& folder, const QString& page);

/// Waits until every page recorded so far is written.
void flush();

/// The most books remembered: the ones left longest ago are forgotten first.
inline constexpr int kMaxBooks = 1000;

} // namespace folivo::Resume
