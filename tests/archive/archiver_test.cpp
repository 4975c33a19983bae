#include "archive/archiver.h"

#include "archive/archiver_testing.h"
#include "support/file_tree.h"
#include "support/lzh_writer.h"
#include "support/zip_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace folivo {
namespace {

using test::fileTree;
using test::LzhWriter;
using test::readFile;
using test::sampleData;
using test::ZipWriter;
namespace Result = Archiver::Result;

class ArchiverTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_root.filePath(name); }
    QString dest() const { return path(QStringLiteral("out")); }
    QString outside() const { return path(QStringLiteral("outside")); }

    int unzip(const ZipWriter& zip)
    {
        const QString archive = path(QStringLiteral("a.zip"));
        EXPECT_TRUE(zip.write(archive));
        return unzipFile(archive);
    }
    int unzipFile(const QString& archive)
    {
        QString output;
        return Archiver::UnZip(
            0, QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(archive, dest()), output, 0);
    }
    int unlha(const LzhWriter& lzh)
    {
        const QString archive = path(QStringLiteral("a.lzh"));
        EXPECT_TRUE(lzh.write(archive));
        return unlhaFile(archive);
    }
    int unlhaFile(const QString& archive)
    {
        QString output;
        return Archiver::Unlha(
            0, QStringLiteral("x -d1 -y1 \"%1\" \"%2/\" *.*").arg(archive, dest()), output, 0);
    }
    int unzipFile(const QString& archive, const Archiver::ProgressHook& hook)
    {
        QString output;
        return Archiver::UnZip(0,
                               QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(archive, dest()),
                               output, 0, {.progress = hook});
    }
    QStringList extracted() const { return fileTree(dest()); }
    QByteArray extractedFile(const QString& name) const { return readFile(dest() + u'/' + name); }

    QTemporaryDir m_root;
};

TEST_F(ArchiverTest, ZipStoredAndDeflatedMembersKeepTheirFolders)
{
    const QByteArray big = sampleData(300000, 1);
    // Stored members are checked block by block: this one's CRC runs over three blocks and
    // an odd tail.
    const QByteArray bigStored = sampleData(600001, 2);
    ZipWriter zip;
    zip.addFile("a.jpg", "first page");
    zip.addFolder("empty/");
    zip.addFile("sub/b.jpg", big, ZipWriter::Method::Deflated);
    zip.addFile("sub/deeper/c.gif", "third", ZipWriter::Method::Deflated);
    zip.addFile("sub/deeper/d.jpg", bigStored);

    EXPECT_EQ(unzip(zip), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"a.jpg", "empty/", "sub/", "sub/b.jpg", "sub/deeper/",
                                        "sub/deeper/c.gif", "sub/deeper/d.jpg"}));
    EXPECT_EQ(extractedFile("a.jpg"), "first page");
    EXPECT_EQ(extractedFile("sub/b.jpg"), big);
    EXPECT_EQ(extractedFile("sub/deeper/d.jpg"), bigStored);
    EXPECT_EQ(extractedFile("sub/deeper/c.gif"), "third");
}

TEST_F(ArchiverTest, LzhStoredAndCompressedMembersKeepTheirFolders)
{
    // Over 65535 bytes, so the compressed member spans two blocks.
    const QByteArray big = sampleData(70000, 2);
    LzhWriter lzh;
    lzh.addFile("p1.jpg", "stored page", LzhWriter::Method::Lh0);
    lzh.addFolder("dir/empty");
    lzh.addFile("dir/p2.jpg", big, LzhWriter::Method::Lh5);
    lzh.addFile("dir/p3.jpg", "", LzhWriter::Method::Lh5);

    EXPECT_EQ(unlha(lzh), Result::Success);
    EXPECT_EQ(extracted(),
              QStringList({"dir/", "dir/empty/", "dir/p2.jpg", "dir/p3.jpg", "p1.jpg"}));
    EXPECT_EQ(extractedFile("p1.jpg"), "stored page");
    EXPECT_EQ(extractedFile("dir/p2.jpg"), big);
    EXPECT_EQ(extractedFile("dir/p3.jpg"), "");
}

// Member names as archivers on different systems store them.
struct NameCase {
    const char* what;
    bool lzh;
    QList<QPair<QByteArray, bool>> members; // raw name, UTF-8 flag (ZIP only)
    QStringList expected;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.what;
}

class MemberNames : public ArchiverTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(MemberNames, AreDecodedAndSplitIntoFolders)
{
    const NameCase& c = GetParam();
    int result = -1;
    if (c.lzh) {
        LzhWriter lzh;
        for (const auto& [name, flag] : c.members)
            lzh.addFile(name, name, LzhWriter::Method::Lh0);
        result = unlha(lzh);
    } else {
        ZipWriter zip;
        for (const auto& [name, flag] : c.members)
            zip.addFile(name, name, ZipWriter::Method::Stored,
                        flag ? ZipWriter::NameFlag::Utf8 : ZipWriter::NameFlag::None);
        result = unzip(zip);
    }
    EXPECT_EQ(result, Result::Success);
    EXPECT_EQ(extracted(), c.expected);
}

// CP932: ソ 83 5C and 表 95 5C end in the byte of "\"; ① 87 40 and Ⅰ 87 54 are Windows
// additions that plain Shift_JIS lacks; 紙 8E 86.
const QByteArray kCp932Name = "\x83\x5C\x95\x5C\x87\x40\x87\x54.jpg";
const QByteArray kCp932Folder = "\x95\x5C\x8E\x86/1.jpg";

INSTANTIATE_TEST_SUITE_P(
    Archiver, MemberNames,
    ::testing::Values(NameCase{"zip cp932",
                               false,
                               {{kCp932Name, false}, {kCp932Folder, false}},
                               {"ソ表①Ⅰ.jpg", "表紙/", "表紙/1.jpg"}},
                      NameCase{"zip utf8 without flag",
                               false,
                               {{"日本語/①.jpg", false}, {"b.jpg", false}},
                               {"b.jpg", "日本語/", "日本語/①.jpg"}},
                      NameCase{"zip utf8 with flag", false, {{"表紙.jpg", true}}, {"表紙.jpg"}},
                      NameCase{"zip flagged utf8 beside cp932",
                               false,
                               {{"é/ü.jpg", true}, {kCp932Name, false}},
                               {"é/", "é/ü.jpg", "ソ表①Ⅰ.jpg"}},
                      NameCase{"zip nfd becomes nfc", false, {{"か\u3099.jpg", true}}, {"が.jpg"}},
                      NameCase{"zip backslash separates folders",
                               false,
                               {{"dir\\x.jpg", false}},
                               {"dir/", "dir/x.jpg"}},
                      NameCase{"lzh cp932",
                               true,
                               {{kCp932Name, false}, {kCp932Folder, false}},
                               {"ソ表①Ⅰ.jpg", "表紙/", "表紙/1.jpg"}},
                      NameCase{
                          "lzh utf8", true, {{"日本語/①.jpg", false}}, {"日本語/", "日本語/①.jpg"}},
                      NameCase{"lzh backslash separates folders",
                               true,
                               {{"dir\\\x95\x5C.jpg", false}},
                               {"dir/", "dir/表.jpg"}}));

TEST_F(ArchiverTest, Utf8NamesSurviveTheCLocale)
{
    // A bare environment runs the program under "C", where libarchive converts nothing.
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    ZipWriter zip;
    zip.addFile("表紙.jpg", "x", ZipWriter::Method::Stored, ZipWriter::NameFlag::Utf8);
    zip.addFile(kCp932Name, "y");
    const int result = unzip(zip);
    std::setlocale(LC_CTYPE, previous.c_str());

    EXPECT_EQ(result, Result::Success);
    EXPECT_EQ(extracted(), QStringList({"ソ表①Ⅰ.jpg", "表紙.jpg"}));
}

TEST_F(ArchiverTest, ZipMembersLeadingOutsideAreLeftOutAndTheRestExtracted)
{
    ASSERT_TRUE(QDir().mkpath(outside()));
    ZipWriter zip;
    zip.addFile("../escape.txt", "x");
    zip.addFile("sub/../../escape2.txt", "x");
    zip.addFile(QFile::encodeName(outside()) + "/absolute.txt", "x");
    zip.addFile("C:\\windows.txt", "x");
    zip.addSymlink("lnk", QFile::encodeName(outside()));
    zip.addFile("lnk/through.txt", "x");
    zip.addSymlink("abs", "/etc/passwd");
    zip.addFile("good.jpg", "page");

    EXPECT_EQ(unzip(zip), Result::MembersLeftOut);
    // The member written "through" the refused link lands in a real folder inside.
    EXPECT_EQ(extracted(), QStringList({"good.jpg", "lnk/", "lnk/through.txt"}));
    EXPECT_EQ(fileTree(outside()), QStringList());
    EXPECT_EQ(fileTree(m_root.path()), QStringList({"a.zip", "out/", "out/good.jpg", "out/lnk/",
                                                    "out/lnk/through.txt", "outside/"}));
}

TEST_F(ArchiverTest, LzhMembersLeadingOutsideAreLeftOut)
{
    LzhWriter lzh;
    lzh.addFile("../evil.txt", "x", LzhWriter::Method::Lh0);
    lzh.addFile("..\\evil2.txt", "x", LzhWriter::Method::Lh5);
    lzh.addFile("/tmp/evil3.txt", "x", LzhWriter::Method::Lh0);
    lzh.addFile("good.jpg", "page", LzhWriter::Method::Lh5);

    EXPECT_EQ(unlha(lzh), Result::MembersLeftOut);
    EXPECT_EQ(fileTree(m_root.path()), QStringList({"a.lzh", "out/", "out/good.jpg"}));
}

TEST_F(ArchiverTest, NeverWritesThroughALinkAlreadyInTheDestination)
{
    ASSERT_TRUE(QDir().mkpath(outside()));
    ASSERT_TRUE(QDir().mkpath(dest()));
    ASSERT_TRUE(QFile::link(outside(), dest() + QStringLiteral("/lnk")));
    ZipWriter zip;
    zip.addFile("lnk/through.txt", "x");
    zip.addFile("good.jpg", "page");

    EXPECT_NE(unzip(zip), Result::Success);
    EXPECT_EQ(fileTree(outside()), QStringList());
    EXPECT_EQ(extractedFile("good.jpg"), "page");
}

TEST_F(ArchiverTest, MacOsResourceForksAreNotExtracted)
{
    ZipWriter zip;
    zip.addFile("a.jpg", "page");
    zip.addFolder("__MACOSX/");
    zip.addFile("__MACOSX/._a.jpg", "fork");
    zip.addFile("__MACOSX/sub/._b.jpg", "fork");
    zip.addFile("sub/b.jpg", "page");

    EXPECT_EQ(unzip(zip), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"a.jpg", "sub/", "sub/b.jpg"}));
}

TEST_F(ArchiverTest, TruncatedZipKeepsTheWholeMembersBeforeTheDamage)
{
    const QByteArray second = sampleData(100000, 3);
    ZipWriter zip;
    zip.addFile("1.jpg", "first");
    zip.addFile("2.jpg", second);
    zip.addFile("3.jpg", "third");
    const QString archive = path(QStringLiteral("cut.zip"));
    ASSERT_TRUE(zip.write(archive, 30 + 5 + 5 + 30 + 5 + second.size() / 2));

    EXPECT_EQ(unzipFile(archive), Result::ArchiveDamaged);
    // The cut-off member is not left behind half-written.
    EXPECT_EQ(extracted(), QStringList({"1.jpg"}));
    EXPECT_EQ(extractedFile("1.jpg"), "first");
}

TEST_F(ArchiverTest, TruncatedLzhKeepsTheWholeMembersBeforeTheDamage)
{
    LzhWriter lzh;
    lzh.addFile("1.jpg", "first", LzhWriter::Method::Lh5);
    const qsizetype firstSize = lzh.bytes().size() - 1;
    lzh.addFile("2.jpg", sampleData(50000, 4), LzhWriter::Method::Lh5);
    lzh.addFile("3.jpg", "third", LzhWriter::Method::Lh0);
    const QString archive = path(QStringLiteral("cut.lzh"));
    ASSERT_TRUE(lzh.write(archive, firstSize + 20000));

    EXPECT_EQ(unlhaFile(archive), Result::ArchiveDamaged);
    EXPECT_EQ(extracted(), QStringList({"1.jpg"}));
    EXPECT_EQ(extractedFile("1.jpg"), "first");
}

TEST_F(ArchiverTest, ArchivesThatCannotBeReadSaySo)
{
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("text.zip")), "not an archive at all"));
    EXPECT_EQ(unzipFile(path(QStringLiteral("text.zip"))), Result::CannotOpenArchive);
    EXPECT_EQ(unzipFile(path(QStringLiteral("missing.zip"))), Result::CannotOpenArchive);
    EXPECT_EQ(unlhaFile(path(QStringLiteral("missing.lzh"))), Result::CannotOpenArchive);

    // A ZIP handed to the LZH library is no LZH archive.
    ZipWriter zip;
    zip.addFile("a.jpg", "page");
    ASSERT_TRUE(zip.write(path(QStringLiteral("a.zip"))));
    EXPECT_EQ(unlhaFile(path(QStringLiteral("a.zip"))), Result::CannotOpenArchive);
}

TEST_F(ArchiverTest, CreatesAMissingDestinationButNotItsParents)
{
    ZipWriter zip;
    zip.addFile("a.jpg", "page");
    ASSERT_TRUE(zip.write(path(QStringLiteral("a.zip"))));
    EXPECT_FALSE(QFileInfo::exists(dest()));
    EXPECT_EQ(unzipFile(path(QStringLiteral("a.zip"))), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"a.jpg"}));

    QString output;
    const QString deep = path(QStringLiteral("no/such"));
    EXPECT_EQ(
        Archiver::UnZip(
            0,
            QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(path(QStringLiteral("a.zip")), deep),
            output, 0),
        Result::NoDestination);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("no"))));
}

TEST_F(ArchiverTest, ADestinationReachedThroughALinkStillWorks)
{
    // Home folders and install folders often lie behind a link.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("real"))));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("real")), path(QStringLiteral("via"))));
    ZipWriter zip;
    zip.addFile("sub/a.jpg", "page");
    ASSERT_TRUE(zip.write(path(QStringLiteral("a.zip"))));

    QString output;
    EXPECT_EQ(
        Archiver::UnZip(0,
                        QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*")
                            .arg(path(QStringLiteral("a.zip")), path(QStringLiteral("via/out"))),
                        output, 0),
        Result::Success);
    EXPECT_EQ(fileTree(path(QStringLiteral("real"))),
              QStringList({"out/", "out/sub/", "out/sub/a.jpg"}));
}

TEST_F(ArchiverTest, ArchivePathsWithBlanksAndQuotesAreParsed)
{
    ZipWriter zip;
    zip.addFile("a.jpg", "page");
    const QString archive = path(QStringLiteral("my \" \"book.zip"));
    ASSERT_TRUE(zip.write(archive));
    EXPECT_EQ(unzipFile(archive), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"a.jpg"}));
}

TEST_F(ArchiverTest, MalformedCommandLinesAreRefused)
{
    ZipWriter zip;
    zip.addFile("a.jpg", "page");
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));
    // {a} stands for the archive, {d} for the destination.
    const QStringList zipLines{
        QString(),
        QStringLiteral("-x -o -q"),
        QStringLiteral("-x -o -q \"{a}\" \"{d}\" *.*"),   // no trailing separator
        QStringLiteral("-x -o -q \"{a}\" \"{d}/\""),      // no pattern
        QStringLiteral("-x -o -q {a} {d}/ *.*"),          // no quotes
        QStringLiteral("x -d1 -y1 \"{a}\" \"{d}/\" *.*"), // the other library's options
        QStringLiteral("-x -o -q \"{a}\" \"/\" *.*"),     // no folder
        QStringLiteral("-x -o -q \"\" \"{d}/\" *.*"),     // no archive
    };
    for (QString line : zipLines) {
        line.replace(QLatin1String("{a}"), archive).replace(QLatin1String("{d}"), dest());
        QString output;
        EXPECT_EQ(Archiver::UnZip(0, line, output, 0), Result::BadCommandLine)
            << line.toStdString();
    }
    QString output;
    EXPECT_EQ(Archiver::Unlha(0, QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(archive, dest()),
                              output, 0),
              Result::BadCommandLine);
    EXPECT_FALSE(QFileInfo::exists(dest()));
}

TEST_F(ArchiverTest, AFullDiskStopsNothingButTheMembersThatDoNotFit)
{
#ifdef FOLIVO_TSAN
    // The death test unpacks in a forked child, and ThreadSanitizer ends a child that starts
    // threads when its parent had some (a pool left by an earlier test in the same process).
    // The other builds run it.
    GTEST_SKIP() << "ThreadSanitizer does not follow threads started after fork";
#endif
    ZipWriter zip;
    zip.addFile("1.jpg", sampleData(10000, 5), ZipWriter::Method::Deflated);
    zip.addFile("2.jpg", sampleData(200000, 6), ZipWriter::Method::Deflated);
    zip.addFile("3.jpg", "third");
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));

    // In a child: no file may grow past 64 KiB, and the signal that would end the process
    // is ignored, so the write itself fails as on a full disk.
    const auto extractWithLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(unzipFile(archive));
    };
    EXPECT_EXIT(extractWithLimit(), ::testing::ExitedWithCode(Result::WriteFailed), "");
    EXPECT_EQ(extracted(), QStringList({"1.jpg", "3.jpg"}));
    EXPECT_EQ(extractedFile("1.jpg"), sampleData(10000, 5));
}

/// Runs the archiver with a given number of workers, restoring one per core afterwards.
class WorkerCount {
public:
    explicit WorkerCount(int count) { Archiver::testing::setWorkerCount(count); }
    ~WorkerCount() { Archiver::testing::setWorkerCount(0); }
    WorkerCount(const WorkerCount&) = delete;
    WorkerCount& operator=(const WorkerCount&) = delete;
};

/// Makes the destination's disk report the given size and free space.
class DiskSpace {
public:
    DiskSpace(qint64 size, qint64 free)
    {
        Archiver::testing::setDiskSpaceProbe([this, size, free](const QString& folder) {
            asked.append(folder);
            return std::optional(Archiver::testing::DiskSpace{size, free});
        });
    }
    ~DiskSpace() { Archiver::testing::setDiskSpaceProbe({}); }
    DiskSpace(const DiskSpace&) = delete;
    DiskSpace& operator=(const DiskSpace&) = delete;
    QStringList asked;
};

constexpr qint64 kGiB = qint64(1) << 30;

// A book of many pages in shared folders, with Japanese names, stored and compressed.
struct ManyPages {
    QList<QPair<QString, QByteArray>> expected;
    ZipWriter zip;
    LzhWriter lzh;
    ManyPages()
    {
        for (int i = 0; i < 60; ++i) {
            const QByteArray data = sampleData(1000 + 5000 * (i % 9), 100 + i);
            // 表紙 in CP932, then a folder per ten pages.
            const QByteArray raw = "\x95\x5C\x8E\x86/" + QByteArray::number(i / 10) + "/" +
                                   QByteArray::number(i) + ".jpg";
            const auto zipMethod = i % 2 ? ZipWriter::Method::Deflated : ZipWriter::Method::Stored;
            const auto lzhMethod = i % 2 ? LzhWriter::Method::Lh5 : LzhWriter::Method::Lh0;
            zip.addFile(raw, data, zipMethod);
            lzh.addFile(raw, data, lzhMethod);
            expected.append({QStringLiteral("表紙/%1/%2.jpg").arg(i / 10).arg(i), data});
        }
    }
    QStringList tree() const
    {
        QStringList names{QStringLiteral("表紙/")};
        for (int folder = 0; folder < 6; ++folder)
            names << QStringLiteral("表紙/%1/").arg(folder);
        for (const auto& [name, data] : expected)
            names << name;
        names.sort();
        return names;
    }
};

TEST_F(ArchiverTest, ManyMembersComeOutTheSameWithOneWorkerOrSeveral)
{
    const ManyPages book;
    for (const int workers : {1, 2, 5}) {
        for (const bool lzh : {false, true}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, " << (lzh ? "lzh" : "zip"));
            ASSERT_TRUE(QDir(dest()).removeRecursively());
            const WorkerCount count(workers);
            EXPECT_EQ(lzh ? unlha(book.lzh) : unzip(book.zip), Result::Success);
            EXPECT_EQ(extracted(), book.tree());
            for (const auto& [name, data] : book.expected)
                EXPECT_EQ(extractedFile(name), data) << name.toStdString();
        }
    }
}

TEST_F(ArchiverTest, AMemberLongerThanItsHeaderSaysIsStoppedAndRemoved)
{
    const WorkerCount count(3);
    ZipWriter zip;
    for (int i = 0; i < 12; ++i) {
        const QByteArray name = QByteArray::number(i) + ".jpg";
        if (i == 5)
            zip.addFileDeclaringSize(name, sampleData(2000000, i), 1000);
        else
            zip.addFile(name, sampleData(20000, i), ZipWriter::Method::Deflated);
    }

    EXPECT_EQ(unzip(zip), Result::ArchiveDamaged);
    QStringList expected;
    for (int i = 0; i < 12; ++i)
        if (i != 5)
            expected << QStringLiteral("%1.jpg").arg(i);
    expected.sort();
    EXPECT_EQ(extracted(), expected);
    EXPECT_EQ(extractedFile("11.jpg"), sampleData(20000, 11));
}

// Members are read whole and checked before they are written; a member that fails the check
// must still end as it did when libarchive alone read it: a checksum mismatch keeps the
// member (its bytes are all there) and reports damage, a stream that cannot be inflated
// leaves nothing behind.
TEST_F(ArchiverTest, DamagedMembersEndAsBeforeWhateverTheirMethod)
{
    enum class Damage { StoredByte, DeflatedChecksum, DeflatedStream, DeflatedTail };
    for (const Damage damage : {Damage::StoredByte, Damage::DeflatedChecksum,
                                Damage::DeflatedStream, Damage::DeflatedTail}) {
        SCOPED_TRACE(static_cast<int>(damage));
        ASSERT_TRUE(QDir(dest()).removeRecursively());
        const QByteArray data = sampleData(300000, 7);
        ZipWriter zip;
        zip.addFile("1.jpg", sampleData(200000, 1), ZipWriter::Method::Deflated);
        zip.addFile("2.jpg", data,
                    damage == Damage::StoredByte ? ZipWriter::Method::Stored
                                                 : ZipWriter::Method::Deflated);
        zip.addFile("3.jpg", sampleData(200000, 3));
        QByteArray bytes = zip.bytes();
        // Names are not repeated in the data, so the first "2.jpg" is the local header's.
        const qsizetype local = bytes.indexOf("2.jpg") - 30;
        const qsizetype central = bytes.indexOf("2.jpg", local + 35) - 46;
        const qsizetype packedSize = qFromLittleEndian<quint32>(bytes.constData() + local + 18);
        const qsizetype dataAt = local + 35;
        switch (damage) {
        case Damage::StoredByte:
            bytes[dataAt + 1000] = static_cast<char>(bytes[dataAt + 1000] ^ 0x20);
            break;
        case Damage::DeflatedChecksum:
            for (const qsizetype at : {local + 14, central + 16})
                bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
            break;
        case Damage::DeflatedStream:
            bytes[dataAt] = 0x07; // a final block of the reserved type
            break;
        case Damage::DeflatedTail:
            // Inflates to the right length but wrong bytes near the end.
            bytes[dataAt + packedSize - 200] =
                static_cast<char>(bytes[dataAt + packedSize - 200] ^ 0x10);
            break;
        }
        const QString archive = path(QStringLiteral("damaged.zip"));
        ASSERT_TRUE(test::writeFile(archive, bytes));

        for (const int workers : {1, 2}) {
            SCOPED_TRACE(workers);
            ASSERT_TRUE(QDir(dest()).removeRecursively());
            const WorkerCount count(workers);
            EXPECT_EQ(unzipFile(archive), Result::ArchiveDamaged);
            EXPECT_EQ(extractedFile("1.jpg"), sampleData(200000, 1));
            if (damage == Damage::StoredByte) {
                QByteArray stored = data;
                stored[1000] = static_cast<char>(stored[1000] ^ 0x20);
                EXPECT_EQ(extractedFile("2.jpg"), stored);
            } else if (damage == Damage::DeflatedChecksum) {
                EXPECT_EQ(extractedFile("2.jpg"), data);
            } else if (damage == Damage::DeflatedStream) {
                // The reader that meets a broken stream gives up: what follows is left to
                // the other workers.
                EXPECT_FALSE(QFile::exists(dest() + QStringLiteral("/2.jpg")));
                continue;
            }
            EXPECT_EQ(extractedFile("3.jpg"), sampleData(200000, 3));
        }
    }
}

// Each member's data is found by where libarchive stands after its header, not by name or
// order: a name stored twice keeps the last member's bytes, and an archive with data in
// front of it (a self-extracting stub), whose offsets are all off, still comes out right.
TEST_F(ArchiverTest, EveryMemberGetsItsOwnData)
{
    ZipWriter zip;
    zip.addFile("1.jpg", sampleData(50000, 1), ZipWriter::Method::Deflated);
    zip.addFile("2.jpg", sampleData(50000, 2));
    zip.addFile("1.jpg", sampleData(50000, 3));
    zip.addFile("3.jpg", sampleData(50000, 4), ZipWriter::Method::Deflated);
    for (const QByteArray& front : {QByteArray(), QByteArray(4096, 'M')}) {
        SCOPED_TRACE(front.size());
        const QString archive = path(QStringLiteral("own.zip"));
        ASSERT_TRUE(test::writeFile(archive, front + zip.bytes()));
        for (const int workers : {1, 3}) {
            SCOPED_TRACE(workers);
            ASSERT_TRUE(QDir(dest()).removeRecursively());
            const WorkerCount count(workers);
            EXPECT_EQ(unzipFile(archive), Result::Success);
            EXPECT_EQ(extracted(), QStringList({"1.jpg", "2.jpg", "3.jpg"}));
            EXPECT_EQ(extractedFile("1.jpg"), sampleData(50000, 3));
            EXPECT_EQ(extractedFile("2.jpg"), sampleData(50000, 2));
            EXPECT_EQ(extractedFile("3.jpg"), sampleData(50000, 4));
        }
    }
}

TEST_F(ArchiverTest, AnArchiveThatWouldFillTheDiskIsRefusedWithNothingWritten)
{
    ZipWriter zip;
    zip.addFile("1.jpg", sampleData(300000, 1), ZipWriter::Method::Deflated);
    zip.addFile("2.jpg", sampleData(200000, 2));
    constexpr qint64 declared = 500000;
    constexpr qint64 kMiB = qint64(1) << 20;
    // The margin is 5 % of the disk, at most 1 GB: a small disk still takes a small book.
    const struct {
        qint64 size;
        qint64 free;
        int result;
    } cases[] = {
        {100 * kGiB, kGiB + declared - 1, Result::WriteFailed},
        {100 * kGiB, kGiB + declared, Result::Success},
        {2 * kGiB, 2 * kGiB / 100 * 5 + declared - 1, Result::WriteFailed},
        {2 * kGiB, 2 * kGiB / 100 * 5 + declared, Result::Success},
        {150 * kMiB, 100 * kMiB, Result::Success},
        {150 * kMiB, 150 * kMiB / 100 * 5 + declared - 1, Result::WriteFailed},
        {2 * kGiB, 0, Result::WriteFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " " << c.free);
        ASSERT_TRUE(QDir(dest()).removeRecursively());
        const DiskSpace disk(c.size, c.free);
        EXPECT_EQ(unzip(zip), c.result);
        // The destination does not exist yet: its parent's disk is the one asked about.
        EXPECT_EQ(disk.asked, QStringList({m_root.path()}));
        if (c.result != Result::Success)
            EXPECT_FALSE(QFileInfo::exists(dest()));
        else
            EXPECT_EQ(extracted(), QStringList({"1.jpg", "2.jpg"}));
    }
}

// The caller's preparation (emptying the destination) runs only for an archive that fits,
// counting what it frees only when needed; a refusal names the sizes.
TEST_F(ArchiverTest, ThePreparationRunsOnlyForAnArchiveThatFits)
{
    ZipWriter zip;
    zip.addFile("1.jpg", sampleData(300000, 1), ZipWriter::Method::Deflated);
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));
    constexpr qint64 size = 10 * kGiB;
    constexpr qint64 margin = size / 100 * 5 > kGiB ? kGiB : size / 100 * 5;
    const struct {
        qint64 free;
        qint64 reclaimable;
        int result;
        int prepared; // -1: not run; 0 or 1: run, needing the reclaimed space or not
    } cases[] = {
        {margin + 300000, 0, Result::Success, 0},
        {margin + 100000, 200000, Result::Success, 1},
        {margin + 100000, 199999, Result::WriteFailed, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.free << " " << c.reclaimable);
        const DiskSpace disk(size, c.free);
        int prepared = -1;
        int reclaimAsked = 0;
        std::optional<Archiver::DiskShortage> shortage;
        Archiver::Preparation preparation;
        preparation.reclaimableBytes = [&] {
            ++reclaimAsked;
            return c.reclaimable;
        };
        preparation.prepare = [&](bool needsReclaimed) {
            prepared = needsReclaimed ? 1 : 0;
            return true;
        };
        preparation.diskShort = [&](const Archiver::DiskShortage& s) { shortage = s; };
        QString output;
        EXPECT_EQ(
            Archiver::UnZip(0, QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(archive, dest()),
                            output, 0, {.preparation = preparation}),
            c.result);
        EXPECT_EQ(prepared, c.prepared);
        EXPECT_EQ(reclaimAsked, c.free - margin < 300000 ? 1 : 0);
        EXPECT_EQ(shortage.has_value(), c.result != Result::Success);
        if (shortage) {
            EXPECT_EQ(shortage->needed, 300000 + margin);
            EXPECT_EQ(shortage->margin, margin);
            EXPECT_EQ(shortage->available, c.free + c.reclaimable);
            EXPECT_FALSE(shortage->atLeast);
        }
    }

    // An archive that cannot be read is no reason to keep the old content: it is prepared.
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("junk.zip")), "not an archive"));
    bool prepared = false;
    Archiver::Preparation preparation;
    preparation.prepare = [&](bool) { return prepared = true; };
    QString output;
    EXPECT_EQ(Archiver::UnZip(0,
                              QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*")
                                  .arg(path(QStringLiteral("junk.zip")), dest()),
                              output, 0, {.preparation = preparation}),
              Result::CannotOpenArchive);
    EXPECT_TRUE(prepared);
}

// Members that state no size (a streaming writer's, with no central directory) pass the
// check before writing as nothing: their bytes are counted as they are written, and the
// extraction stops at the margin, with no part of a member left.
TEST_F(ArchiverTest, MembersThatStateNoSizeStopAtTheMargin)
{
    ZipWriter zip;
    zip.setStreamed();
    for (int i = 1; i <= 4; ++i)
        zip.addFile(QByteArray::number(i) + ".jpg", QByteArray(300000, char('0' + i)),
                    ZipWriter::Method::Deflated);
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));
    constexpr qint64 size = 20 * (qint64(1) << 20);
    constexpr qint64 margin = size / 100 * 5;

    const WorkerCount one(1);
    {
        const DiskSpace disk(size, margin + 700000);
        std::optional<Archiver::DiskShortage> shortage;
        Archiver::Preparation preparation;
        preparation.diskShort = [&](const Archiver::DiskShortage& s) { shortage = s; };
        QString output;
        EXPECT_EQ(
            Archiver::UnZip(0, QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(archive, dest()),
                            output, 0, {.preparation = preparation}),
            Result::WriteFailed);
        EXPECT_EQ(extracted(), QStringList({"1.jpg", "2.jpg"}));
        EXPECT_EQ(extractedFile("2.jpg"), QByteArray(300000, '2'));
        ASSERT_TRUE(shortage.has_value());
        EXPECT_TRUE(shortage->atLeast);
        EXPECT_GT(shortage->needed, 700000 + margin);
        EXPECT_EQ(shortage->available, 700000 + margin);
    }
    // With room for all of it, all of it comes out.
    ASSERT_TRUE(QDir(dest()).removeRecursively());
    const DiskSpace disk(size, margin + 1200000);
    EXPECT_EQ(unzipFile(archive), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
}

TEST_F(ArchiverTest, AFullDiskAmongManyWorkersLeavesNoPartOfAMember)
{
#ifdef FOLIVO_TSAN
    // As AFullDiskStopsNothingButTheMembersThatDoNotFit.
    GTEST_SKIP() << "ThreadSanitizer does not follow threads started after fork";
#endif
    ZipWriter zip;
    QStringList small;
    for (int i = 0; i < 30; ++i) {
        const bool big = i % 7 == 3;
        zip.addFile(QByteArray::number(i) + ".jpg", sampleData(big ? 200000 : 10000, i),
                    ZipWriter::Method::Deflated);
        if (!big)
            small << QStringLiteral("%1.jpg").arg(i);
    }
    small.sort();
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));

    const auto extractWithLimit = [&] {
        Archiver::testing::setWorkerCount(4);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(unzipFile(archive));
    };
    EXPECT_EXIT(extractWithLimit(), ::testing::ExitedWithCode(Result::WriteFailed), "");
    EXPECT_EQ(extracted(), small);
    for (const QString& name : small)
        EXPECT_EQ(extractedFile(name), sampleData(10000, name.section(u'.', 0, 0).toInt()));
}

TEST_F(ArchiverTest, TheProgressHookSeesTheTotalsAndCanStop)
{
    const WorkerCount count(3);
    ZipWriter zip;
    qint64 bytes = 0;
    for (int i = 0; i < 40; ++i) {
        zip.addFile(QByteArray::number(i) + ".jpg", sampleData(300000, i),
                    ZipWriter::Method::Deflated);
        bytes += 300000;
    }
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));

    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    QList<Archiver::Progress> seen;
    const auto record = [&](const Archiver::Progress& progress) {
        if (inside++ != 0)
            overlapped = true;
        seen.append(progress);
        --inside;
    };
    EXPECT_EQ(unzipFile(archive,
                        [&](const Archiver::Progress& progress) {
                            record(progress);
                            return Archiver::Reply::Continue;
                        }),
              Result::Success);
    EXPECT_EQ(extracted().size(), 40);
    EXPECT_FALSE(overlapped);
    ASSERT_FALSE(seen.isEmpty());
    // While the headers are read the totals are not known yet; from the first report after
    // them on they are.
    const auto planned = [](const Archiver::Progress& progress) {
        return progress.membersTotal != 0;
    };
    const auto firstPlanned = std::find_if(seen.cbegin(), seen.cend(), planned);
    ASSERT_NE(firstPlanned, seen.cend());
    EXPECT_TRUE(std::all_of(firstPlanned, seen.cend(), planned));
    for (const Archiver::Progress& progress : seen) {
        EXPECT_EQ(progress.archiveSize, QFileInfo(archive).size());
        if (!planned(progress))
            continue;
        EXPECT_EQ(progress.membersTotal, 40);
        EXPECT_EQ(progress.bytesTotal, bytes);
        EXPECT_LE(progress.bytesDone, bytes);
        EXPECT_LE(progress.membersDone, 40);
    }

    ASSERT_TRUE(QDir(dest()).removeRecursively());
    seen.clear();
    EXPECT_EQ(unzipFile(archive,
                        [&](const Archiver::Progress& progress) {
                            record(progress);
                            return planned(progress) ? Archiver::Reply::Stop
                                                     : Archiver::Reply::Continue;
                        }),
              Result::Stopped);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_TRUE(planned(seen.back()));
    seen.removeIf([&](const Archiver::Progress& progress) { return !planned(progress); });
    EXPECT_EQ(seen.size(), 1);
    // Whatever was finished before the stop is whole; nothing half-written stays.
    const QStringList left = extracted();
    EXPECT_LT(left.size(), 40);
    for (const QString& name : left)
        EXPECT_EQ(extractedFile(name), sampleData(300000, name.section(u'.', 0, 0).toInt()));
}

// A ZIP written as a stream declares its sizes only after each member's data: the sizes
// add up to nothing until the end, and how much of the file has been read is what tells
// how far the extraction has come, from the reading of the headers on.
TEST_F(ArchiverTest, AZipWithoutSizesTellsHowMuchOfItsFileIsRead)
{
    const WorkerCount count(1);
    ZipWriter zip;
    zip.setStreamed();
    for (int i = 0; i < 6; ++i)
        zip.addFile(QByteArray::number(i) + ".jpg", sampleData(300000, i),
                    ZipWriter::Method::Deflated);
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(zip.write(archive));
    const qint64 size = QFileInfo(archive).size();

    QList<Archiver::Progress> seen;
    EXPECT_EQ(unzipFile(archive,
                        [&](const Archiver::Progress& progress) {
                            seen.append(progress);
                            // So that the next report comes at the next step.
                            std::this_thread::sleep_for(std::chrono::milliseconds(55));
                            return Archiver::Reply::Continue;
                        }),
              Result::Success);
    EXPECT_EQ(extracted().size(), 6);
    EXPECT_EQ(extractedFile(QStringLiteral("5.jpg")), sampleData(300000, 5));

    qint64 headersRead = 0;
    qint64 extractedRead = 0;
    for (const Archiver::Progress& progress : seen) {
        EXPECT_EQ(progress.bytesTotal, 0);
        EXPECT_EQ(progress.archiveSize, size);
        EXPECT_LE(progress.archiveBytesRead, size);
        qint64& read = progress.membersTotal == 0 ? headersRead : extractedRead;
        EXPECT_GE(progress.archiveBytesRead, read);
        read = progress.archiveBytesRead;
    }
    EXPECT_GT(headersRead, size / 2);
    EXPECT_GT(extractedRead, size / 2);
}

// A reader starts on a page as soon as the watch says it is written: it must hear of every
// file before the first one lands, and of a file only once all of it is there, checked.
TEST_F(ArchiverTest, TheWatchHearsOfEachFileOnlyOnceItIsWrittenWhole)
{
    ZipWriter zip;
    zip.addFile("p10.jpg", sampleData(300000, 1), ZipWriter::Method::Deflated);
    zip.addFolder("sub/");
    zip.addFile("sub/p1.jpg", sampleData(200000, 2));
    zip.addFile("../outside.jpg", "x");
    zip.addFile("bad.jpg", sampleData(300000, 3));
    zip.addFile("p2.jpg", sampleData(400000, 4));
    QByteArray bytes = zip.bytes();
    const qsizetype badData = bytes.indexOf("bad.jpg") + 7;
    bytes[badData + 1000] = static_cast<char>(bytes[badData + 1000] ^ 0x20);
    const QString archive = path(QStringLiteral("a.zip"));
    ASSERT_TRUE(test::writeFile(archive, bytes));
    const std::map<QString, QByteArray> whole = {{"p10.jpg", sampleData(300000, 1)},
                                                 {"sub/p1.jpg", sampleData(200000, 2)},
                                                 {"p2.jpg", sampleData(400000, 4)}};

    for (const int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        ASSERT_TRUE(QDir(dest()).removeRecursively());
        const WorkerCount count(workers);
        std::mutex mutex;
        QStringList planned;
        QStringList written;
        QStringList cutShort;
        Archiver::MemberWatch watch;
        watch.planned = [&](const QStringList& paths) {
            const std::lock_guard lock(mutex);
            EXPECT_TRUE(written.isEmpty());
            EXPECT_TRUE(extracted().filter(QStringLiteral(".jpg")).isEmpty());
            planned += paths;
        };
        watch.written = [&](const QString& file) {
            const bool complete = whole.contains(file) && extractedFile(file) == whole.at(file);
            const std::lock_guard lock(mutex);
            written << file;
            if (!complete)
                cutShort << file;
        };
        QString output;
        EXPECT_EQ(
            Archiver::UnZip(0, QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*").arg(archive, dest()),
                            output, 0, {.watch = watch}),
            Result::ArchiveDamaged);
        planned.sort();
        written.sort();
        // The damaged member is planned and stays on disk, but is never said to be written.
        EXPECT_EQ(planned, QStringList({"bad.jpg", "p10.jpg", "p2.jpg", "sub/p1.jpg"}));
        EXPECT_EQ(written, QStringList({"p10.jpg", "p2.jpg", "sub/p1.jpg"}));
        EXPECT_EQ(cutShort, QStringList());
    }
}

// The page a reader will see first comes out before every other member, however far into the
// archive it lies, in a ZIP and in an LZH; every member still comes out once, and the watch
// hears that the extraction has ended only once nothing more is written.
TEST_F(ArchiverTest, TheFirstPageNamedByTheWatchIsWrittenBeforeEveryOtherMember)
{
    ZipWriter zip;
    LzhWriter lzh;
    const QByteArrayList names = {"c.txt", "p2.jpg", "p3.jpg", "p1.jpg", "p4.jpg"};
    for (int k = 0; k < names.size(); ++k) {
        zip.addFile(names[k], sampleData(100000, k), ZipWriter::Method::Deflated);
        lzh.addFile(names[k], sampleData(100000, k), LzhWriter::Method::Lh5);
    }
    const QString zipPath = path(QStringLiteral("a.zip"));
    const QString lzhPath = path(QStringLiteral("a.lzh"));
    ASSERT_TRUE(zip.write(zipPath));
    ASSERT_TRUE(lzh.write(lzhPath));

    for (const bool isZip : {true, false}) {
        for (const int workers : {1, 2}) {
            SCOPED_TRACE(testing::Message() << (isZip ? "zip " : "lzh ") << workers);
            ASSERT_TRUE(QDir(dest()).removeRecursively());
            const WorkerCount count(workers);
            std::mutex mutex;
            QStringList written;
            int endedAfter = -1;
            Archiver::MemberWatch watch;
            watch.first = [](const QStringList& paths) {
                return paths.indexOf(QStringLiteral("p1.jpg"));
            };
            watch.written = [&](const QString& file) {
                const std::lock_guard lock(mutex);
                written << file;
            };
            watch.ended = [&] {
                const std::lock_guard lock(mutex);
                endedAfter = static_cast<int>(written.size());
            };
            QString output;
            const QString line = (isZip ? QStringLiteral("-x -o -q \"%1\" \"%2/\" *.*")
                                        : QStringLiteral("x -d1 -y1 \"%1\" \"%2/\" *.*"))
                                     .arg(isZip ? zipPath : lzhPath, dest());
            const int result = isZip ? Archiver::UnZip(0, line, output, 0, {.watch = watch})
                                     : Archiver::Unlha(0, line, output, 0, {.watch = watch});
            EXPECT_EQ(result, Result::Success);
            ASSERT_FALSE(written.isEmpty());
            EXPECT_EQ(written.first(), QStringLiteral("p1.jpg"));
            EXPECT_EQ(endedAfter, 5);
            written.sort();
            EXPECT_EQ(written, QStringList({"c.txt", "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"}));
            EXPECT_EQ(extractedFile(QStringLiteral("p1.jpg")), sampleData(100000, 3));
        }
    }
}

TEST(ArchiverVersion, AnUnusableLibraryReportsVersionZero)
{
    EXPECT_NE(Archiver::UnZipGetVersion(), 0);
    EXPECT_NE(Archiver::UnlhaGetVersion(), 0);
    Archiver::setLibraryUsable(Archiver::Format::Zip, false);
    EXPECT_EQ(Archiver::UnZipGetVersion(), 0);
    EXPECT_NE(Archiver::UnlhaGetVersion(), 0);
    Archiver::setLibraryUsable(Archiver::Format::Lzh, false);
    EXPECT_EQ(Archiver::UnlhaGetVersion(), 0);
    Archiver::setLibraryUsable(Archiver::Format::Zip, true);
    Archiver::setLibraryUsable(Archiver::Format::Lzh, true);
    EXPECT_NE(Archiver::UnZipGetVersion(), 0);
    EXPECT_NE(Archiver::UnlhaGetVersion(), 0);
}

} // namespace
} // namespace folivo
