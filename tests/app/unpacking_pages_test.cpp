// Which pages a turn must wait for while a book unpacks: the order is the listing's once every
// page is out, whatever order the unpacking writes them in.
#include "app/unpacking_pages.h"

#include "support/pictures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <atomic>

namespace folivo {
namespace {

TEST(UnpackingPages, ATurnWaitsForThePageItsListingWillShowNextNotForTheNextOneOnDisk)
{
    test::TempHome home;
    const QString root = test::makeFolder(home.filePath(QStringLiteral("tmp")));
    std::atomic<int> changes{0};
    UnpackingPages pages(root, [&] { ++changes; });
    pages.planned(
        {"01.jpg", "02.jpg", "03.jpg", "10.jpg", ".hidden.jpg", "notes.txt", "sub/05.jpg"});
    // Written out of order, as two workers may: 03 is on disk before 02.
    for (const char* name : {"01.jpg", "03.jpg"}) {
        test::writePicture(root + QLatin1Char('/') + QLatin1String(name), 10, 10);
        pages.written(QLatin1String(name));
    }
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(pages.unpacking());
    const auto at = [&](const char* name) { return root + QLatin1Char('/') + QLatin1String(name); };

    EXPECT_EQ(pages.awaitedBy(root, QStringLiteral("01.jpg"), 1, 1), QStringList({at("02.jpg")}));
    EXPECT_EQ(pages.awaitedBy(root, QStringLiteral("03.jpg"), -1, 1), QStringList({at("02.jpg")}));
    // Natural order: 10 after 03; the hidden and the non-picture files are never pages.
    EXPECT_EQ(pages.awaitedBy(root, QStringLiteral("03.jpg"), 1, 1), QStringList({at("10.jpg")}));
    // A spread reaches further; the first page of the book is out.
    EXPECT_EQ(pages.awaitedBy(root, QStringLiteral("01.jpg"), 1, 3),
              QStringList({at("02.jpg"), at("10.jpg")}));
    EXPECT_EQ(pages.awaitedBy(root, QString(), 1, 1), QStringList());
    EXPECT_EQ(pages.awaitedBy(root, QStringLiteral("01.jpg"), 0, 1), QStringList());
    // A name that is no page of the folder reaches nothing; nor does another folder.
    EXPECT_EQ(pages.awaitedBy(root, QStringLiteral("zz.jpg"), 1, 1), QStringList());
    EXPECT_EQ(
        pages.awaitedBy(home.filePath(QStringLiteral("elsewhere")), QStringLiteral("01.jpg"), 1, 1),
        QStringList());
    EXPECT_EQ(pages.awaitedBy(root + QStringLiteral("/sub"), QString(), 1, 1),
              QStringList({at("sub/05.jpg")}));
    EXPECT_EQ(pages.comingIn(root),
              QSet<QString>({"02.jpg", "10.jpg", ".hidden.jpg", "notes.txt"}));

    EXPECT_TRUE(pages.anyAwaited({at("02.jpg")}));
    pages.written(QStringLiteral("02.jpg"));
    EXPECT_FALSE(pages.anyAwaited({at("02.jpg")}));
    // What has not come when the unpacking ends never will: nothing is waited for any more.
    EXPECT_TRUE(pages.anyAwaited({at("10.jpg")}));
    pages.ended();
    EXPECT_FALSE(pages.anyAwaited({at("10.jpg")}));
    EXPECT_FALSE(pages.unpacking());
    EXPECT_EQ(changes, 4);
}

} // namespace
} // namespace folivo
