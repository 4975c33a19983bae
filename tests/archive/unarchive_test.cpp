// The third library: RAR, 7z and tar books made by the real tools (7z, bsdtar) at test time,
// and RAR ones from libarchive's test suite.
#include "archive/archiver.h"

#include "archive/archiver_testing.h"
#include "support/book_tools.h"
#include "support/file_tree.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo {
namespace {

using test::fileTree;
using test::readFile;
using test::runTool;
using test::sampleData;
namespace Result = Archiver::Result;

class UnarchiveTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_root.filePath(name); }
    QString dest() const { return path(QStringLiteral("out")); }
    QString pages() const { return path(QStringLiteral("pages")); }
    QStringList extracted() const { return fileTree(dest()); }
    QByteArray extractedFile(const QString& name) const { return readFile(dest() + u'/' + name); }

    int unarchive(const QString& archive, Archiver::Hooks hooks = {})
    {
        hooks.preparation.encrypted = [this] { ++encryptedTold; };
        QString output;
        return Archiver::Unarchive(
            0, QStringLiteral("x -aoa -y \"%1\" \"%2/\" *.*").arg(archive, dest()), output, 0,
            hooks);
    }
    int unarchiveSample(const char* name)
    {
        const QString archive = path(QString::fromUtf8(name));
        EXPECT_TRUE(test::writeLibarchiveSample(name, archive));
        return unarchive(archive);
    }
    // A book's pages, in a folder the tools are run in.
    void writePage(const QByteArray& name, const QByteArray& bytes)
    {
        // Raw bytes: a CP932 name is no valid UTF-8 and must reach the disk as it is.
        const QByteArray file = QFile::encodeName(pages()) + '/' + name;
        for (qsizetype slash = file.indexOf('/', 1); slash > 0;
             slash = file.indexOf('/', slash + 1))
            ::mkdir(file.left(slash).constData(), 0755);
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << file.constData();
        EXPECT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
        ::close(fd);
    }
    void writeBook()
    {
        writePage("001.jpg", m_big);
        writePage("sub/002.jpg", "second page");
        writePage("表紙.jpg", "cover");
    }
    void expectBook()
    {
        EXPECT_EQ(extracted(), QStringList({"001.jpg", "sub/", "sub/002.jpg", "表紙.jpg"}));
        EXPECT_EQ(extractedFile("001.jpg"), m_big);
        EXPECT_EQ(extractedFile("sub/002.jpg"), "second page");
        EXPECT_EQ(extractedFile("表紙.jpg"), "cover");
    }
    // The tools are in the test's dependencies; without them there is nothing to test.
    void make(const QString& program, const QStringList& arguments)
    {
        if (!runTool(program, arguments, pages()))
            GTEST_FAIL() << program.toStdString() << " could not make the archive";
    }

    QTemporaryDir m_root;
    const QByteArray m_big = sampleData(700000, 3);
    int encryptedTold = 0;
};

struct ToolCase {
    const char* name;
    const char* program;
    QStringList arguments; // "book" stands for the archive's path
};

void PrintTo(const ToolCase& c, std::ostream* os)
{
    *os << c.name;
}

class ToolBooks : public UnarchiveTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(ToolBooks, UnpackWithTheirNamesAndBytes)
{
    writeBook();
    const QString book = path(QString::fromUtf8(GetParam().name));
    QStringList arguments = GetParam().arguments;
    arguments.replaceInStrings(QStringLiteral("book"), book);
    make(QString::fromUtf8(GetParam().program), arguments);

    EXPECT_EQ(unarchive(book), Result::Success);
    expectBook();
    EXPECT_EQ(encryptedTold, 0);
}

const QStringList kPageNames{"001.jpg", "sub", "表紙.jpg"};

INSTANTIATE_TEST_SUITE_P(
    Unarchive, ToolBooks,
    ::testing::Values(
        ToolCase{"solid.cb7", "7z", QStringList{"a", "-bd", "-t7z", "-ms=on", "book"} + kPageNames},
        ToolCase{"plain.7z", "7z", QStringList{"a", "-bd", "-ms=off", "book"} + kPageNames},
        ToolCase{"plain.cbt", "bsdtar", QStringList{"-cf", "book"} + kPageNames},
        ToolCase{"book.tar.gz", "bsdtar", QStringList{"-czf", "book"} + kPageNames},
        ToolCase{"book.tbz2", "bsdtar", QStringList{"-cjf", "book"} + kPageNames},
        ToolCase{"book.txz", "bsdtar", QStringList{"-cJf", "book"} + kPageNames}));

QByteArray sha1(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

TEST_F(UnarchiveTest, RarFiveStoredCompressedAndSolidUnpack)
{
    EXPECT_EQ(unarchiveSample("test_read_format_rar5_stored.rar"), Result::Success);
    EXPECT_EQ(extractedFile("helloworld.txt"), "hello libarchive test suite!\n");
    const QStringList bins{"test1.bin", "test2.bin", "test3.bin", "test4.bin"};
    const QList<QByteArray> hashes{
        "e6d444eac448f176cb9f8a1db5674df32f24e163", "4fe8ce24816b42ff99293a2fe102df959cd16b79",
        "79249e6a3316216a2acd891178fb7477c2519e6a", "155be6207481dacbd89aa4f39902ead1df4d9e33"};
    for (const char* name : {"test_read_format_rar5_multiple_files.rar",
                             "test_read_format_rar5_multiple_files_solid.rar"}) {
        QDir(dest()).removeRecursively();
        EXPECT_EQ(unarchiveSample(name), Result::Success) << name;
        EXPECT_EQ(extracted(), bins) << name;
        for (qsizetype i = 0; i < bins.size(); ++i)
            EXPECT_EQ(sha1(extractedFile(bins[i])), hashes[i]) << name << " " << i;
    }
}

TEST_F(UnarchiveTest, RarFourUnicodeNamesUnpackAndItsLinkIsLeftOut)
{
    EXPECT_EQ(unarchiveSample("test_read_format_rar_unicode.rar"), Result::MembersLeftOut);
    EXPECT_EQ(extracted(),
              QStringList({"abcdefghijklmnopqrsテスト.txt", "表だよ/", "表だよ/新しいフォルダ/",
                           "表だよ/新しいフォルダ/新規テキスト ドキュメント.txt",
                           "表だよ/漢字長いファイル名long-filename-in-漢字.txt"}));
    EXPECT_EQ(extractedFile("abcdefghijklmnopqrsテスト.txt"), "aaaaaaaaaaaaaaa\n");
    EXPECT_EQ(encryptedTold, 0);
}

TEST_F(UnarchiveTest, TarNamesInCp932AreDecodedPerArchive)
{
    // ソ 83 5C and 表 95 5C end in the byte of "\"; 紙 8E 86. ustar stores names as given.
    writePage("\x83\x5C\x95\x5C.jpg", "one");
    writePage("\x95\x5C\x8E\x86/1.jpg", "two");
    const QString book = path(QStringLiteral("cp932.tar"));
    // Named by "." so that the names never pass through an argument's encoding.
    make(QStringLiteral("bsdtar"), {"--format", "ustar", "-cf", book, "."});
    EXPECT_EQ(unarchive(book), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"ソ表.jpg", "表紙/", "表紙/1.jpg"}));
    // Qt cannot name them to remove them.
    const QByteArray raw = QFile::encodeName(pages());
    ::unlink((raw + "/\x83\x5C\x95\x5C.jpg").constData());
    ::unlink((raw + "/\x95\x5C\x8E\x86/1.jpg").constData());
    ::rmdir((raw + "/\x95\x5C\x8E\x86").constData());
}

TEST_F(UnarchiveTest, MembersLeadingOutsideAndLinksAreLeftOut)
{
    writePage("ok.jpg", "kept");
    writePage("esc.jpg", "escape");
    writePage("abs.jpg", "absolute");
    writePage("through.jpg", "through");
    ASSERT_TRUE(QFile::link(QStringLiteral("/tmp"), pages() + QStringLiteral("/link")));
    const QString book = path(QStringLiteral("hostile.tar"));
    make(QStringLiteral("bsdtar"),
         {"-P", "-cf", book, "-s", ",^esc,../escape,", "-s", ",^abs,/tmp/folivo-abs,", "-s",
          ",^through,link/through,", "ok.jpg", "esc.jpg", "abs.jpg", "link", "through.jpg"});

    EXPECT_EQ(unarchive(book), Result::MembersLeftOut);
    // The link is not made: the member below it lands in a folder of that name.
    EXPECT_EQ(extracted(), QStringList({"link/", "link/through.jpg", "ok.jpg"}));
    EXPECT_FALSE(QFileInfo(dest() + QStringLiteral("/link")).isSymLink());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("escape.jpg"))));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/folivo-abs.jpg")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/through.jpg")));

    QDir(dest()).removeRecursively();
    EXPECT_EQ(unarchiveSample("test_read_format_rar5_symlink.rar"), Result::MembersLeftOut);
    EXPECT_EQ(extracted(), QStringList({"dir/", "file.txt"}));
    EXPECT_EQ(encryptedTold, 0);
}

TEST_F(UnarchiveTest, EncryptedBooksAreToldAsSuch)
{
    // Solid: the encrypted member's data cannot even be skipped, so the archive also reads as
    // damaged; what the reader is told is its encryption.
    EXPECT_EQ(unarchiveSample("test_read_format_rar5_solid_encrypted.rar"), Result::ArchiveDamaged);
    EXPECT_EQ(encryptedTold, 1);
    EXPECT_EQ(extracted(), QStringList());

    writeBook();
    // The data encrypted, then the headers too.
    for (const QStringList& extra : {QStringList{"-pfolivo"}, QStringList{"-pfolivo", "-mhe=on"}}) {
        encryptedTold = 0;
        const QString book = path(QStringLiteral("locked%1.7z").arg(extra.size()));
        make(QStringLiteral("7z"),
             QStringList{"a", "-bd"} + extra + QStringList{book} + kPageNames);
        EXPECT_NE(unarchive(book), Result::Success);
        EXPECT_EQ(encryptedTold, 1) << extra.join(' ').toStdString();
    }
}

TEST_F(UnarchiveTest, DamageTheDiskAndAStopEndAsTheZipRoadEnds)
{
    writeBook();
    const QString book = path(QStringLiteral("book.7z"));
    make(QStringLiteral("7z"), QStringList{"a", "-bd", "-ms=on", book} + kPageNames);

    QFile whole(book);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QString cut = path(QStringLiteral("cut.7z"));
    QFile cutFile(cut);
    ASSERT_TRUE(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(whole.readAll().chopped(20));
    cutFile.close();
    EXPECT_EQ(unarchive(cut), Result::ArchiveDamaged);
    EXPECT_EQ(encryptedTold, 0);
    QDir(dest()).removeRecursively();

    bool toldShort = false;
    Archiver::testing::setDiskSpaceProbe([](const QString&) {
        return std::optional(Archiver::testing::DiskSpace{1 << 20, 500000});
    });
    Archiver::Hooks small;
    small.preparation.diskShort = [&](const Archiver::DiskShortage&) { toldShort = true; };
    EXPECT_EQ(unarchive(book, small), Result::WriteFailed);
    Archiver::testing::setDiskSpaceProbe({});
    EXPECT_TRUE(toldShort);
    EXPECT_FALSE(QFileInfo::exists(dest()));

    EXPECT_EQ(
        unarchive(book,
                  {.progress = [](const Archiver::Progress&) { return Archiver::Reply::Stop; }}),
        Result::Stopped);
    EXPECT_FALSE(QFile::exists(dest() + QStringLiteral("/001.jpg")));
}

} // namespace
} // namespace folivo
