#include "open/folder_check.h"
#include "settings/reading_options_testing.h"

#include "support/file_tree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

namespace folivo {
namespace {

struct FolderCase {
    const char* what;
    QStringList entries; // files; folders end in "/"
    std::int32_t expected;
};

void PrintTo(const FolderCase& c, std::ostream* os)
{
    *os << c.what;
}

class FolderCheck : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderCheck, TellsPicturesFromSubfolders)
{
    QTemporaryDir root;
    for (const QString& entry : GetParam().entries) {
        if (entry.endsWith(QLatin1Char('/')))
            ASSERT_TRUE(QDir().mkpath(root.filePath(entry)));
        else
            ASSERT_TRUE(test::writeFile(root.filePath(entry), "x"));
    }
    EXPECT_EQ(Mod_Varnox::Folder_Check(root.path()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    OpenFolder, FolderCheck,
    ::testing::Values(FolderCase{"empty", {}, -1},
                      FolderCase{"only other files", {"notes.txt", "book.zip", "a.png"}, -1},
                      FolderCase{"pictures only", {"1.jpg", "2.jpg"}, 0},
                      FolderCase{"pictures and a subfolder", {"1.jpg", "sub/"}, 1},
                      FolderCase{"subfolders only", {"a/", "b/1.jpg"}, 2},
                      FolderCase{"a folder named like a picture", {"photos.jpg/"}, 2},
                      FolderCase{"hidden subfolder beside pictures", {".thumbs/", "1.jpg"}, 0},
                      FolderCase{"hidden subfolder alone", {".thumbs/1.jpg"}, -1},
                      FolderCase{"hidden picture alone", {".1.jpg"}, -1},
                      FolderCase{"upper-case extension", {"PAGE.JPG"}, 0},
                      FolderCase{"pictures two levels down", {"sub/deeper/1.jpg"}, 2},
                      FolderCase{"jpeg", {"a.jpeg"}, 0}, FolderCase{"gif", {"a.GIF"}, 0},
                      FolderCase{"bmp", {"a.bmp"}, 0}, FolderCase{"emf", {"a.emf"}, 0},
                      FolderCase{"wmf", {"a.Wmf"}, 0},
                      FolderCase{"extension only in the middle", {"a.jpg.txt", "b.jpgx"}, -1}));

// A folder of PNG scans is a folder of pictures only for a reader who opens more formats.
TEST(FolderCheckMoreFormats, NewPicturesCountOnlyWithTheOptionOn)
{
    QTemporaryDir root;
    ASSERT_TRUE(test::writeFile(root.filePath(QStringLiteral("scan.PNG")), "x"));
    ASSERT_TRUE(test::writeFile(root.filePath(QStringLiteral("scan.jxl")), "x"));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("extra"))));
    EXPECT_EQ(Mod_Varnox::Folder_Check(root.path()), 2);
    ReadingOptions::ScopedOption option(ReadingOptions::Option::MoreFormats, true);
    EXPECT_EQ(Mod_Varnox::Folder_Check(root.path()), 1);
}

TEST(FolderCheckPaths, AMissingFolderHoldsNothing)
{
    QTemporaryDir root;
    EXPECT_EQ(Mod_Varnox::Folder_Check(root.filePath(QStringLiteral("missing"))), -1);
}

} // namespace
} // namespace folivo
