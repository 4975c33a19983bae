#include "platform/dir_listing.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace folivo {
namespace {

// Each pair in the order a reader expects to turn the pages: the first strictly first.
struct OrderCase {
    const char* name;
    const char* first;
    const char* second;
};

class NaturalOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(NaturalOrderTest, PutsTheFirstBeforeTheSecondAndNeverTheOtherWay)
{
    const QString first = QString::fromUtf8(GetParam().first);
    const QString second = QString::fromUtf8(GetParam().second);
    EXPECT_TRUE(naturalLess(first, second));
    EXPECT_FALSE(naturalLess(second, first));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, NaturalOrderTest,
    ::testing::Values(OrderCase{"OneDigitBeforeTwo", "page2.jpg", "page10.jpg"},
                      OrderCase{"TwoDigitsBeforeThree", "page99.jpg", "page100.jpg"},
                      OrderCase{"LongNumbersByValue", "scan1234567890123456789.jpg",
                                "scan12345678901234567890.jpg"},
                      OrderCase{"LeadingZerosDoNotCount", "page002.jpg", "page10.jpg"},
                      OrderCase{"EqualNumbersFewerZerosFirst", "page1.jpg", "page01.jpg"},
                      OrderCase{"FewerZerosDecideBeforeTheRest", "page1b.jpg", "page01a.jpg"},
                      OrderCase{"SecondNumberDecides", "v2p9.jpg", "v2p10.jpg"},
                      OrderCase{"DigitsBeforeLetters", "1.jpg", "a.jpg"},
                      OrderCase{"CaseIgnored", "a.jpg", "B.jpg"},
                      OrderCase{"CaseIgnoredInsideAName", "Page2.jpg", "page10.jpg"},
                      OrderCase{"SameLettersUpperFirst", "A.jpg", "a.jpg"},
                      OrderCase{"PrefixFirst", "page", "page1"},
                      OrderCase{"JapaneseNumbers", "第2巻.jpg", "第10巻.jpg"},
                      OrderCase{"JapaneseFewerZerosFirst", "第1話.jpg", "第01話.jpg"},
                      OrderCase{"HiraganaBeforeKatakana", "あ.jpg", "ア.jpg"},
                      OrderCase{"KatakanaBeforeKanji", "ア.jpg", "亜.jpg"},
                      OrderCase{"AsciiBeforeJapanese", "z.jpg", "あ.jpg"}),
    [](const ::testing::TestParamInfo<OrderCase>& param) { return param.param.name; });

TEST(DirListingTest, ListsAFolderInNaturalOrder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Created out of order, so that the order of the folder's entries cannot pass for the
    // natural one.
    const QStringList created{"page10.jpg", "page01.jpg", "Page2.jpg", "第10巻.jpg",
                              "page1.jpg",  "第2巻.jpg",  "a.jpg",     "page001.jpg"};
    for (const QString& name : created) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    }
    const QStringList expected{"a.jpg",     "page1.jpg",  "page01.jpg", "page001.jpg",
                               "Page2.jpg", "page10.jpg", "第2巻.jpg",  "第10巻.jpg"};
    EXPECT_EQ(listDirectory(folder.path() + QStringLiteral("/*"), ListAttributes::Normal),
              expected);

    DirListing listing(folder.path() + QStringLiteral("/*.jpg"), ListAttributes::Normal);
    for (const QString& name : expected)
        EXPECT_EQ(listing.next(), name);
    EXPECT_EQ(listing.next(), QString());
}

} // namespace
} // namespace folivo
