#include "archive/zip_directory.h"

#include "support/byte_writer.h"
#include "support/zip_writer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>

namespace folivo::Archiver {
namespace {

using test::put16;
using test::put32;

struct Header {
    QByteArray name{};
    quint16 flags = 0;
    quint32 size = 0;
    QByteArray extra{};
    QByteArray comment{};
    /// A name length other than the name's own, as a damaged or crafted archive may state.
    std::optional<quint16> statedNameSize{};
};

QByteArray centralHeader(const Header& header)
{
    QByteArray out;
    put32(out, 0x02014b50);
    put16(out, 20);
    put16(out, 20);
    put16(out, header.flags);
    put16(out, 0); // stored
    put32(out, 0); // time and date
    put32(out, 0x12345678);
    put32(out, header.size);
    put32(out, header.size);
    put16(out, header.statedNameSize.value_or(static_cast<quint16>(header.name.size())));
    put16(out, static_cast<quint32>(header.extra.size()));
    put16(out, static_cast<quint32>(header.comment.size()));
    put16(out, 0);
    put16(out, 0);
    put32(out, 0);
    put32(out, 0); // local header offset
    return out + header.name + header.extra + header.comment;
}

struct EndRecord {
    quint32 count = 0;
    quint32 directorySize = 0;
    quint32 directoryOffset = 0;
};

QByteArray endRecord(const EndRecord& record)
{
    QByteArray out;
    put32(out, 0x06054b50);
    put32(out, 0); // disk numbers
    put16(out, record.count);
    put16(out, record.count);
    put32(out, record.directorySize);
    put32(out, record.directoryOffset);
    put16(out, 0);
    return out;
}

// An Info-ZIP Unicode path field: version 1, the plain name's CRC, the UTF-8 name.
QByteArray unicodePathField(const QByteArray& utf8Name)
{
    QByteArray field;
    put16(field, 0x7075);
    put16(field, static_cast<quint32>(5 + utf8Name.size()));
    field.append('\x01');
    put32(field, 0);
    return field + utf8Name;
}

class ZipDirectoryTest : public ::testing::Test {
protected:
    /// An archive of `lead` bytes of member data followed by the directory and its end record.
    ZipDirectory read(const QByteArray& directory, std::optional<EndRecord> record = std::nullopt)
    {
        const QByteArray lead(64, 'x');
        const EndRecord end = record.value_or(EndRecord{1, static_cast<quint32>(directory.size()),
                                                        static_cast<quint32>(lead.size())});
        return readBytes(lead + directory + endRecord(end));
    }
    ZipDirectory readBytes(const QByteArray& bytes)
    {
        QFile file(m_root.filePath(QStringLiteral("a.zip")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        return ZipDirectory::read(file.fileName());
    }

    QTemporaryDir m_root;
};

QList<QByteArray> names(const ZipDirectory& directory)
{
    QList<QByteArray> names;
    for (const ZipDirectoryEntry& entry : directory.entries())
        names << entry.name.toByteArray();
    return names;
}

TEST_F(ZipDirectoryTest, ListsTheMembersAndWhereTheirDataStarts)
{
    test::ZipWriter zip;
    zip.addFile("a.jpg", "first", test::ZipWriter::Method::Stored);
    zip.addFile("表紙.jpg", "second page", test::ZipWriter::Method::Deflated,
                test::ZipWriter::NameFlag::Utf8);
    const QString path = m_root.filePath(QStringLiteral("real.zip"));
    ASSERT_TRUE(zip.write(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const ZipDirectory directory = ZipDirectory::read(file);

    ASSERT_EQ(names(directory), QList<QByteArray>({"a.jpg", "表紙.jpg"}));
    const ZipDirectoryEntry& stored = directory.entries()[0];
    const ZipDirectoryEntry& deflated = directory.entries()[1];
    EXPECT_FALSE(stored.nameIsUtf8());
    EXPECT_TRUE(deflated.nameIsUtf8());
    EXPECT_EQ(stored.method, 0);
    EXPECT_EQ(deflated.method, 8);
    EXPECT_EQ(stored.size, 5u);
    EXPECT_EQ(stored.crc, test::crc32("first"));
    EXPECT_EQ(deflated.size, 11u);
    // Each local header is 30 bytes and the name.
    EXPECT_EQ(ZipDirectory::dataOffset(file, stored), 30 + 5);
    EXPECT_EQ(ZipDirectory::dataOffset(file, deflated),
              qint64(deflated.localHeaderOffset) + 30 + QByteArray("表紙.jpg").size());

    // A local header that is not there, or that names another method, is not trusted.
    ZipDirectoryEntry elsewhere = stored;
    elsewhere.localHeaderOffset = 7;
    EXPECT_EQ(ZipDirectory::dataOffset(file, elsewhere), std::nullopt);
    elsewhere.localHeaderOffset = 0xFFFFFF;
    EXPECT_EQ(ZipDirectory::dataOffset(file, elsewhere), std::nullopt);
    ZipDirectoryEntry otherMethod = stored;
    otherMethod.method = 8;
    EXPECT_EQ(ZipDirectory::dataOffset(file, otherMethod), std::nullopt);
}

TEST_F(ZipDirectoryTest, ReadsTheFlagsAndTheUnicodePathField)
{
    const ZipDirectory directory =
        read(centralHeader({.name = "p1.jpg", .flags = 0x0001}) +
             centralHeader({.name = "\x95\x5C.jpg", .extra = unicodePathField("表.jpg")}) +
             centralHeader({.name = "big.jpg", .size = 0xFFFFFFFF, .comment = "a comment"}) +
             centralHeader({.name = "last.jpg"}));

    ASSERT_EQ(names(directory),
              QList<QByteArray>({"p1.jpg", "\x95\x5C.jpg", "big.jpg", "last.jpg"}));
    EXPECT_TRUE(directory.entries()[0].isEncrypted());
    EXPECT_FALSE(directory.entries()[1].isEncrypted());
    EXPECT_EQ(directory.entries()[1].unicodePath, "表.jpg");
    EXPECT_TRUE(directory.entries()[0].unicodePath.isEmpty());
    EXPECT_TRUE(directory.entries()[2].usesZip64());
    EXPECT_FALSE(directory.entries()[3].usesZip64());
}

// Whatever the directory states, the walk stays inside the bytes it read and keeps the members
// that lie whole before the damage.
TEST_F(ZipDirectoryTest, StaysInsideADamagedDirectory)
{
    const QByteArray first = centralHeader({.name = "a.jpg"});
    const QByteArray second = centralHeader({.name = "b.jpg"});

    // A count that claims more members than there are, or fewer.
    const auto size = static_cast<quint32>(first.size() + second.size());
    EXPECT_EQ(names(read(first + second, EndRecord{1000, size, 64})),
              QList<QByteArray>({"a.jpg", "b.jpg"}));
    EXPECT_EQ(names(read(first + second, EndRecord{1, size, 64})),
              QList<QByteArray>({"a.jpg", "b.jpg"}));

    // A name that runs past the directory's end.
    EXPECT_EQ(names(read(first + centralHeader({.name = "b.jpg", .statedNameSize = 0xFFFF}))),
              QList<QByteArray>({"a.jpg"}));
    // The directory cut off in the second header's fixed part, and in its name.
    EXPECT_EQ(names(read(first + second.left(30))), QList<QByteArray>({"a.jpg"}));
    EXPECT_EQ(names(read(first + second.left(second.size() - 2))), QList<QByteArray>({"a.jpg"}));
    // An extra field that states more than the extra holds gives no Unicode path.
    QByteArray lyingField = unicodePathField("表.jpg");
    lyingField[2] = '\x40';
    const ZipDirectory withLyingField = read(centralHeader({.name = "c.jpg", .extra = lyingField}));
    ASSERT_EQ(names(withLyingField), QList<QByteArray>({"c.jpg"}));
    EXPECT_TRUE(withLyingField.entries()[0].unicodePath.isEmpty());
    // Something other than a header where the walk goes on.
    EXPECT_EQ(names(read(first + QByteArray(60, 'z'))), QList<QByteArray>({"a.jpg"}));
}

TEST_F(ZipDirectoryTest, ADirectoryThatCannotBeFoundIsEmpty)
{
    const QByteArray directory = centralHeader({.name = "a.jpg"});
    const auto size = static_cast<quint32>(directory.size());
    // No end record: a download cut off before the directory's end.
    EXPECT_TRUE(readBytes(QByteArray(64, 'x') + directory).isEmpty());
    EXPECT_TRUE(readBytes("PK\x05\x06").isEmpty());
    // A size that reaches in front of the file's start.
    EXPECT_TRUE(read(directory, EndRecord{1, 0x7FFFFFFF, 64}).isEmpty());
    // Saturated fields that send the reader to a ZIP64 record that is not there.
    EXPECT_TRUE(read(directory, EndRecord{0xFFFF, size, 64}).isEmpty());
    EXPECT_TRUE(read(directory, EndRecord{1, 0xFFFFFFFF, 64}).isEmpty());
    EXPECT_TRUE(read(directory, EndRecord{1, size, 0xFFFFFFFF}).isEmpty());
    // An offset that points past the file: the directory is looked for right before the end
    // record, as a self-extracting archive's is.
    EXPECT_EQ(names(read(directory, EndRecord{1, size, 0x7FFFFFF0})), QList<QByteArray>({"a.jpg"}));
}

} // namespace
} // namespace folivo::Archiver
