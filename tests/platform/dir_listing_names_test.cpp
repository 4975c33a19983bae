// A name given in full is one name: wildcard characters in it are characters, and a
// difference in letter case finds the file as it is stored.
#include "platform/dir_listing.h"

#include "support/file_tree.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace folivo {
namespace {

class ListedName : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"a.jpg", "ab.jpg", "book.zip", "Both.zip", "BOTH.zip"})
            ASSERT_TRUE(test::writeFile(path(name), "x"));
        ASSERT_TRUE(QDir().mkpath(path("a*")));
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

    QTemporaryDir m_dir;
};

TEST_F(ListedName, WildcardCharactersAreCharactersOfALiteralName)
{
    EXPECT_EQ(listDirectory(path("a*"), ListAttributes::Normal, NameMatch::Literal), QStringList());
    EXPECT_EQ(listDirectory(path("a*"), ListAttributes::Directory, NameMatch::Literal),
              QStringList{"a*"});
    EXPECT_EQ(listDirectory(path("a?.jpg"), ListAttributes::Normal, NameMatch::Literal),
              QStringList());
    EXPECT_EQ(listDirectory(path("*.*"), ListAttributes::Normal, NameMatch::Literal),
              QStringList());
    // As patterns they still match.
    EXPECT_EQ(listDirectory(path("a*"), ListAttributes::Normal), QStringList({"a.jpg", "ab.jpg"}));
    EXPECT_EQ(listDirectory(path("a?.jpg"), ListAttributes::Normal), QStringList{"ab.jpg"});
}

TEST_F(ListedName, ALiteralNameFindsTheStoredSpellingAndPrefersAnExactOne)
{
    EXPECT_EQ(listDirectory(path("Book.ZIP"), ListAttributes::Normal, NameMatch::Literal),
              QStringList{"book.zip"});
    EXPECT_EQ(listDirectory(path("BOTH.zip"), ListAttributes::Normal, NameMatch::Literal),
              QStringList{"BOTH.zip"});
    EXPECT_EQ(listDirectory(path("A.JPG"), ListAttributes::Normal, NameMatch::Literal),
              QStringList{"a.jpg"});
    // A folder path with its trailing separator still lists the folder.
    EXPECT_EQ(
        listDirectory(m_dir.path() + QLatin1Char('/'), ListAttributes::Normal, NameMatch::Literal)
            .first(),
        QStringLiteral("a.jpg"));
}

} // namespace
} // namespace folivo
