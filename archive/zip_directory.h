#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>
#include <vector>

class QFile;

namespace folivo::Archiver {

/// One member as a ZIP archive's central directory lists it. The sizes and the offset are the
/// directory's 32-bit fields: a member that needs ZIP64's wider ones has them saturated.
struct ZipDirectoryEntry {
    /// The name's bytes as stored.
    QByteArrayView name;
    /// The UTF-8 name of an Info-ZIP Unicode path field; empty when there is none.
    QByteArrayView unicodePath;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 size = 0;
    quint32 localHeaderOffset = 0;

    bool nameIsUtf8() const;
    bool isEncrypted() const;
    /// Some size or the offset lies in a ZIP64 field instead.
    bool usesZip64() const;
};

/// A ZIP archive's central directory, read once per extraction, for whatever needs to know its
/// members before libarchive walks them: how their names are decoded, and where their data
/// lies for reading it straight from the file. Nothing in it is trusted beyond its bytes: a
/// directory that cannot be found is empty, and the walk stops at the first header that does
/// not lie whole inside it, whatever count the end record claims.
class ZipDirectory {
public:
    /// Empty.
    ZipDirectory() = default;
    /// The directory of the archive file, found through its end record (or the ZIP64 form of
    /// it); empty when it cannot be read (a truncated download, for instance).
    static ZipDirectory read(const QString& archivePath);
    static ZipDirectory read(QFile& archive);

    // The entries' names point into the directory's bytes, which a move keeps where they are.
    ZipDirectory(ZipDirectory&&) = default;
    ZipDirectory& operator=(ZipDirectory&&) = default;
    ZipDirectory(const ZipDirectory&) = delete;
    ZipDirectory& operator=(const ZipDirectory&) = delete;
    ~ZipDirectory() = default;

    const std::vector<ZipDirectoryEntry>& entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.empty(); }

    /// Where the member's data starts, after its local header; nullopt when that header is not
    /// there or names another method than the directory does.
    static std::optional<qint64> dataOffset(QFile& archive, const ZipDirectoryEntry& entry);

private:
    explicit ZipDirectory(QByteArray bytes);

    QByteArray m_bytes;
    std::vector<ZipDirectoryEntry> m_entries;
};

} // namespace folivo::Archiver
