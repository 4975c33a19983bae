// Where each book was left: remembered per book (a folder by its path, an archive by its
// path, size and time), only while the option is on, and forgotten oldest first.
#include "settings/resume.h"

#include "open/other_book.h"
#include "platform/install_folder.h"
#include "settings/reading_options_testing.h"
#include "store/profile_file.h"
#include "support/file_tree.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace folivo {
namespace {

using ReadingOptions::Option;

class ResumeTest : public ::testing::Test {
protected:
    QString makeBook(const QString& name, int pages) const
    {
        const QString folder = home.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        for (int i = 1; i <= pages; ++i)
            EXPECT_TRUE(test::writeFile(folder + QStringLiteral("/p%1.jpg").arg(i), "x"));
        return folder;
    }
    static QString placeAfter(const QString& folder, const QString& page)
    {
        Resume::pageShown(folder, page);
        Resume::flush();
        return Resume::placeOf(folder);
    }

    test::TempHome home;
    ReadingOptions::ScopedOption resume{Option::Resume, true};
};

TEST_F(ResumeTest, AFolderReopensAtItsPageWhileThePageIsThere)
{
    const QString one = makeBook(QStringLiteral("one"), 9);
    const QString two = makeBook(QStringLiteral("two"), 3);
    EXPECT_EQ(Resume::placeOf(one), QString());
    EXPECT_EQ(placeAfter(one, QStringLiteral("p7.jpg")), QStringLiteral("p7.jpg"));
    EXPECT_EQ(placeAfter(two, QStringLiteral("p2.jpg")), QStringLiteral("p2.jpg"));
    EXPECT_EQ(Resume::placeOf(one), QStringLiteral("p7.jpg"));

    ASSERT_TRUE(QFile::remove(one + QStringLiteral("/p7.jpg")));
    EXPECT_EQ(Resume::placeOf(one), QString()) << "a page that is gone: the first page";

    ReadingOptions::ScopedOption off(Option::Resume, false);
    EXPECT_EQ(Resume::placeOf(two), QString());
}

TEST_F(ResumeTest, WithTheOptionOffNothingIsWritten)
{
    ReadingOptions::ScopedOption off(Option::Resume, false);
    const QString one = makeBook(QStringLiteral("one"), 2);
    Resume::pageShown(one, QStringLiteral("p2.jpg"));
    Resume::archiveUnpacked(one + QStringLiteral("/p1.jpg"));
    Resume::flush();
    EXPECT_FALSE(QFile::exists(ReadingOptions::optionsFilePath()));
}

TEST_F(ResumeTest, AnArchiveIsKnownByItsPathSizeAndTimeNotByItsFolder)
{
    const QString archive = home.filePath(QStringLiteral("book.zip"));
    ASSERT_TRUE(test::writeFile(archive, "zip bytes"));
    const QString tmp = tmpFolderPath();
    ASSERT_TRUE(QDir().mkpath(tmp + QStringLiteral("/sub")));
    for (const char* page : {"/a.jpg", "/b.jpg", "/sub/c.jpg"})
        ASSERT_TRUE(test::writeFile(tmp + QString::fromUtf8(page), "x"));
    Resume::archiveUnpacked(archive);

    EXPECT_EQ(placeAfter(tmp, QStringLiteral("b.jpg")), QStringLiteral("b.jpg"));
    // A subfolder of the archive is the same book: its place moves there.
    EXPECT_EQ(placeAfter(tmp + QStringLiteral("/sub"), QStringLiteral("c.jpg")),
              QStringLiteral("c.jpg"));
    EXPECT_EQ(Resume::placeOf(tmp), QString());
    EXPECT_EQ(placeAfter(tmp, QStringLiteral("b.jpg")), QStringLiteral("b.jpg"));

    // Another archive under the same name is another book, whatever the folder holds.
    ASSERT_TRUE(test::writeFile(archive, "another book's bytes"));
    EXPECT_EQ(Resume::placeOf(tmp), QString());
    Resume::archiveUnpacked(archive);
    EXPECT_EQ(Resume::placeOf(tmp), QString());
}

TEST_F(ResumeTest, TheBooksLeftLongestAgoAreForgottenFirst)
{
    // The options file as a long reading life leaves it: the most books, all left long ago.
    Profile::Entries entries;
    for (int i = 0; i < Resume::kMaxBooks; ++i)
        entries.append({QStringLiteral("b%1").arg(i), QStringLiteral("%1|p.jpg").arg(1000 + i)});
    ASSERT_GT(
        Profile::writeSection(QStringLiteral("Resume"), entries, ReadingOptions::optionsFilePath()),
        0);
    const QString book = makeBook(QStringLiteral("new"), 2);
    EXPECT_EQ(placeAfter(book, QStringLiteral("p2.jpg")), QStringLiteral("p2.jpg"));
    const Profile::Entries kept =
        Profile::sectionEntries(QStringLiteral("Resume"), ReadingOptions::optionsFilePath());
    ASSERT_EQ(kept.size(), Resume::kMaxBooks);
    EXPECT_FALSE(kept.contains(entries.first())) << "the oldest goes";
    EXPECT_TRUE(kept.contains(entries.last()));
}

// The next book beside the one on screen: folders with pages and archives, in the listing's
// natural order; an unpacked archive's pages stand where the archive lies.
TEST_F(ResumeTest, TheNextBookSkipsWhatIsNoBook)
{
    const QString shelf = home.filePath(QStringLiteral("shelf"));
    for (const char* entry : {"vol2/1.jpg", "vol10/1.jpg", "empty/", "notes.txt", "vol3.zip",
                              "vol4.cbz", "vol5/part/1.jpg"}) {
        const QString path = shelf + QLatin1Char('/') + QString::fromUtf8(entry);
        if (path.endsWith(u'/'))
            ASSERT_TRUE(QDir().mkpath(path));
        else
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && test::writeFile(path, "x"));
    }
    const auto next = [&](const QString& from, int direction) {
        const QString book = Other_Book(from, direction);
        return book.isEmpty() ? QString() : QFileInfo(book).fileName();
    };
    EXPECT_EQ(next(shelf + QStringLiteral("/vol2"), 1), QStringLiteral("vol3.zip"));
    EXPECT_EQ(next(shelf + QStringLiteral("/vol2"), -1), QString());
    EXPECT_EQ(next(shelf + QStringLiteral("/vol10"), -1), QStringLiteral("vol5"));
    EXPECT_EQ(next(shelf + QStringLiteral("/vol10"), 1), QString());

    const QString tmp = tmpFolderPath();
    ASSERT_TRUE(QDir().mkpath(tmp));
    Resume::archiveUnpacked(shelf + QStringLiteral("/vol3.zip"));
    EXPECT_EQ(next(tmp, 1), QStringLiteral("vol5"));
    EXPECT_EQ(next(tmp, -1), QStringLiteral("vol2"));
    ReadingOptions::ScopedOption more(Option::MoreFormats, true);
    EXPECT_EQ(next(tmp, 1), QStringLiteral("vol4.cbz"));
}

} // namespace
} // namespace folivo
