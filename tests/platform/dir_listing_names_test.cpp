// A name given in full is one name: wildcard characters in it are characters.
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
        for (const char* name : {"a.jpg", "ab.jpg"})
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

} // namespace
} // namespace folivo
