#include "view/spread_pairs.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

namespace folivo {
namespace {

struct PairingCase {
    const char* name;
    int pages;
    QSet<int> wide; ///< pages counted from 1
    bool coverAlone;
    bool shifted;
    const char* spreads; ///< the book front to back, pages counted from 1: "1|23|45"
};

void PrintTo(const PairingCase& c, std::ostream* os)
{
    *os << c.name;
}

QString spreadText(const Spread& spread)
{
    QString text = QString::number(spread.first + 1);
    if (!spread.alone())
        text += QString::number(spread.second + 1);
    return text;
}

class SpreadPairsTable : public ::testing::TestWithParam<PairingCase> {
protected:
    SpreadPairs pairs() const
    {
        const PairingCase& c = GetParam();
        return SpreadPairs(
            c.pages, [wide = c.wide](int page) { return wide.contains(page + 1); }, c.coverAlone,
            c.shifted);
    }
};

TEST_P(SpreadPairsTable, TurningForwardAndBackWalksTheSameSpreads)
{
    const SpreadPairs book = pairs();
    QStringList forward;
    std::optional<Spread> spread = book.holding(0);
    Spread last;
    for (; spread; spread = book.next(*spread)) {
        forward.append(spreadText(*spread));
        last = *spread;
    }
    EXPECT_EQ(forward.join(QLatin1Char('|')), QLatin1String(GetParam().spreads));

    QStringList backward;
    for (spread = last; spread; spread = book.previous(*spread))
        backward.prepend(spreadText(*spread));
    EXPECT_EQ(backward, forward);
}

TEST_P(SpreadPairsTable, EveryPageLeadsToTheSpreadThatHoldsIt)
{
    const SpreadPairs book = pairs();
    const QStringList spreads = QString::fromLatin1(GetParam().spreads).split(QLatin1Char('|'));
    for (int page = 0; page < GetParam().pages; ++page) {
        const Spread spread = book.holding(page);
        EXPECT_TRUE(spread.holds(page)) << "page " << page + 1;
        EXPECT_TRUE(spreads.contains(spreadText(spread))) << "page " << page + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Books, SpreadPairsTable,
    ::testing::Values(
        PairingCase{"PairsFromTheFirstPage", 4, {}, false, false, "12|34"},
        PairingCase{"CoverAloneThenPairs", 4, {}, true, false, "1|23|4"},
        PairingCase{"OnePageBook", 1, {}, false, false, "1"},
        // Page 6 of 9 is wide: it stands alone, the page before it loses its partner, and
        // pairing starts afresh after it.
        PairingCase{
            "WidePageStandsAloneAndRestartsThePairing", 9, {6}, false, false, "12|34|5|6|78|9"},
        PairingCase{"WidePageWithTheCoverAlone", 9, {6}, true, false, "1|23|45|6|78|9"},
        // Shifting moves every run between wide pages by one.
        PairingCase{"ShiftedWithoutTheCover", 9, {6}, false, true, "1|23|45|6|7|89"},
        PairingCase{"ShiftedWithTheCoverAlone", 9, {6}, true, true, "12|34|5|6|7|89"},
        PairingCase{"WideCoverAndWideNeighbours", 5, {1, 3, 4}, true, false, "1|2|3|4|5"},
        PairingCase{"WideLastPage", 3, {3}, false, false, "12|3"}),
    [](const ::testing::TestParamInfo<PairingCase>& param) {
        return std::string(param.param.name);
    });

TEST(SpreadPairs, AsksOnlyAboutThePagesUpToTheSpreadAfterThePage)
{
    QSet<int> asked;
    const SpreadPairs book(
        200,
        [&](int page) {
            EXPECT_FALSE(asked.contains(page)) << "asked twice about page " << page;
            asked.insert(page);
            return false;
        },
        false, false);
    EXPECT_EQ(book.holding(3), (Spread{2, 3}));
    EXPECT_EQ(asked, (QSet<int>{0, 1, 2, 3}));
    EXPECT_EQ(book.holding(200), Spread{});
    EXPECT_EQ(book.holding(-1), Spread{});
}

} // namespace
} // namespace folivo
