// The third library: RAR, 7z and tar books made by the real tools (7z, bsdtar) at test time,
// and RAR ones from libarchive's test suite.
#include "archive/archiver.h"

#include "support/book_tools.h"
#include "support/file_tree.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo {
namespace {

using test::readFile;
namespace Result = Archiver::Result;

class UnarchiveTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_root.filePath(name); }
    QString dest() const { return path(QStringLiteral("out")); }
    QStringList extracted() const { return test::fileTree(dest()); }
    QByteArray extractedFile(const QString& name) const { return readFile(dest() + u'/' + name); }

    int unarchive(const QString& archive)
    {
        Archiver::Hooks hooks;
        hooks.preparation.encrypted = [this] { ++encryptedTold; };
        QString output;
        return Archiver::Unarchive(
            0, QStringLiteral("x -aoa -y \"%1\" \"%2/\" *.*").arg(archive, dest()), output, 0,
            hooks);
    }
    int unarchiveSample(const char* name)
    {
        QDir(dest()).removeRecursively();
        const QString archive = path(QString::fromUtf8(name));
        EXPECT_TRUE(test::writeLibarchiveSample(name, archive));
        return unarchive(archive);
    }
    // A page of the book the tools pack, named by its raw bytes: a CP932 name is no valid
    // UTF-8 and must reach the disk as it is.
    void writePage(const QByteArray& name, const QByteArray& bytes)
    {
        const QByteArray file = QFile::encodeName(path(QStringLiteral("pages"))) + '/' + name;
        for (qsizetype slash = file.indexOf('/', 1); slash > 0;
             slash = file.indexOf('/', slash + 1))
            ::mkdir(file.left(slash).constData(), 0755);
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << file.constData();
        EXPECT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
        ::close(fd);
    }
    // "@" in the arguments stands for the archive's path.
    QString make(const char* program, const char* name, QStringList arguments)
    {
        const QString archive = path(QString::fromUtf8(name));
        arguments.replaceInStrings(QStringLiteral("@"), archive);
        EXPECT_TRUE(
            test::runTool(QString::fromUtf8(program), arguments, path(QStringLiteral("pages"))))
            << program;
        return archive;
    }

    QTemporaryDir m_root;
    int encryptedTold = 0;
};

struct ToolCase {
    const char* name;
    const char* program;
    QStringList arguments;
};

void PrintTo(const ToolCase& c, std::ostream* os)
{
    *os << c.name;
}

class ToolBooks : public UnarchiveTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(ToolBooks, UnpackWithTheirNamesAndBytes)
{
    const QByteArray big = test::sampleData(700000, 3);
    writePage("001.jpg", big);
    writePage("sub/002.jpg", "second page");
    writePage("表紙.jpg", "cover");
    const QString book = make(GetParam().program, GetParam().name,
                              GetParam().arguments + QStringList{"001.jpg", "sub", "表紙.jpg"});

    EXPECT_EQ(unarchive(book), Result::Success);
    EXPECT_EQ(extracted(), QStringList({"001.jpg", "sub/", "sub/002.jpg", "表紙.jpg"}));
    EXPECT_EQ(extractedFile("001.jpg"), big);
    EXPECT_EQ(extractedFile("sub/002.jpg"), "second page");
    EXPECT_EQ(extractedFile("表紙.jpg"), "cover");
    EXPECT_EQ(encryptedTold, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Unarchive, ToolBooks,
    ::testing::Values(ToolCase{"solid.cb7", "7z", {"a", "-bd", "-t7z", "-ms=on", "@"}},
                      ToolCase{"plain.7z", "7z", {"a", "-bd", "-ms=off", "@"}},
                      ToolCase{"plain.cbt", "bsdtar", {"-cf", "@"}},
                      ToolCase{"book.tar.gz", "bsdtar", {"-czf", "@"}},
                      ToolCase{"book.tbz2", "bsdtar", {"-cjf", "@"}},
                      ToolCase{"book.txz", "bsdtar", {"-cJf", "@"}},
                      ToolCase{"renamed-zip.cbr", "7z", {"a", "-bd", "-tzip", "@"}}));

TEST_F(UnarchiveTest, RarFourAndFiveUnpackStoredCompressedAndSolid)
{
    EXPECT_EQ(unarchiveSample("test_read_format_rar5_stored.rar"), Result::Success);
    EXPECT_EQ(extractedFile("helloworld.txt"), "hello libarchive test suite!\n");
    for (const char* name : {"test_read_format_rar5_multiple_files.rar",
                             "test_read_format_rar5_multiple_files_solid.rar"}) {
        EXPECT_EQ(unarchiveSample(name), Result::Success) << name;
        QCryptographicHash all(QCryptographicHash::Sha1);
        for (const char* bin : {"test1.bin", "test2.bin", "test3.bin", "test4.bin"})
            all.addData(extractedFile(QString::fromUtf8(bin)));
        EXPECT_EQ(all.result().toHex(), "f094def44cb55fc5435f9fd569bb61b622ed87f4") << name;
    }
    // Its link is left out.
    EXPECT_EQ(unarchiveSample("test_read_format_rar_unicode.rar"), Result::MembersLeftOut);
    EXPECT_EQ(extracted(),
              QStringList({"abcdefghijklmnopqrsテスト.txt", "表だよ/", "表だよ/新しいフォルダ/",
                           "表だよ/新しいフォルダ/新規テキスト ドキュメント.txt",
                           "表だよ/漢字長いファイル名long-filename-in-漢字.txt"}));
    EXPECT_EQ(extractedFile("abcdefghijklmnopqrsテスト.txt"), "aaaaaaaaaaaaaaa\n");
}

TEST_F(UnarchiveTest, TarNamesInCp932AreDecodedPerArchive)
{
    // ソ 83 5C and 表 95 5C end in the byte of "\"; 紙 8E 86. ustar stores names as given,
    // and "." keeps them from passing through an argument's encoding.
    writePage("\x83\x5C\x95\x5C.jpg", "one");
    writePage("\x95\x5C\x8E\x86/1.jpg", "two");
    EXPECT_EQ(unarchive(make("bsdtar", "cp932.tar", {"--format", "ustar", "-cf", "@", "."})),
              Result::Success);
    EXPECT_EQ(extracted(), QStringList({"ソ表.jpg", "表紙/", "表紙/1.jpg"}));
    // Qt cannot name them to remove them.
    const QByteArray raw = QFile::encodeName(path(QStringLiteral("pages")));
    ::unlink((raw + "/\x83\x5C\x95\x5C.jpg").constData());
    ::unlink((raw + "/\x95\x5C\x8E\x86/1.jpg").constData());
    ::rmdir((raw + "/\x95\x5C\x8E\x86").constData());
}

TEST_F(UnarchiveTest, MembersLeadingOutsideAndLinksAreLeftOut)
{
    for (const char* name : {"ok.jpg", "esc.jpg", "abs.jpg", "through.jpg"})
        writePage(name, name);
    ASSERT_TRUE(QFile::link(QStringLiteral("/tmp"), path(QStringLiteral("pages/link"))));
    const QString book =
        make("bsdtar", "hostile.tar",
             {"-P", "-cf", "@", "-s", ",^esc,../escape,", "-s", ",^abs,/tmp/folivo-abs,", "-s",
              ",^through,link/through,", "ok.jpg", "esc.jpg", "abs.jpg", "link", "through.jpg"});

    EXPECT_EQ(unarchive(book), Result::MembersLeftOut);
    // The link is not made: the member below it lands in a folder of that name.
    EXPECT_EQ(extracted(), QStringList({"link/", "link/through.jpg", "ok.jpg"}));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("escape.jpg"))));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/folivo-abs.jpg")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/through.jpg")));

    EXPECT_EQ(unarchiveSample("test_read_format_rar5_symlink.rar"), Result::MembersLeftOut);
    EXPECT_EQ(extracted(), QStringList({"dir/", "file.txt"}));
    EXPECT_EQ(encryptedTold, 0);
}

TEST_F(UnarchiveTest, EncryptedBooksAreToldAsSuchAndACutOneAsDamaged)
{
    // Solid: the encrypted member's data cannot even be skipped, so the archive also reads as
    // damaged; what the reader is told is its encryption.
    EXPECT_EQ(unarchiveSample("test_read_format_rar5_solid_encrypted.rar"), Result::ArchiveDamaged);
    EXPECT_EQ(encryptedTold, 1);
    EXPECT_EQ(extracted(), QStringList());

    writePage("001.jpg", test::sampleData(5000, 1));
    // The data encrypted, then the headers too.
    EXPECT_EQ(unarchive(make("7z", "data.7z", {"a", "-bd", "-pfolivo", "@", "001.jpg"})),
              Result::MembersLeftOut);
    EXPECT_EQ(encryptedTold, 2);
    EXPECT_NE(
        unarchive(make("7z", "headers.7z", {"a", "-bd", "-pfolivo", "-mhe=on", "@", "001.jpg"})),
        Result::Success);
    EXPECT_EQ(encryptedTold, 3);

    QFile whole(make("7z", "whole.7z", {"a", "-bd", "-ms=on", "@", "001.jpg"}));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QFile cut(path(QStringLiteral("cut.7z")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.readAll().chopped(20));
    cut.close();
    EXPECT_EQ(unarchive(cut.fileName()), Result::ArchiveDamaged);
    EXPECT_EQ(encryptedTold, 3);
}

} // namespace
} // namespace folivo
