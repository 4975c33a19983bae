#include "view/fit_search.h"

#include "platform/error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace folivo {
namespace {

constexpr std::int32_t kViewW = 15000;
constexpr std::int32_t kViewH = 10000;

struct FitCase {
    const char* name;
    double naturalW;
    double naturalH;
    double bairitu;
    int mode2;
    std::int32_t expectedW;
    std::int32_t expectedH;
    double expectedBase;
    double expectedBairitu;
};

void PrintTo(const FitCase& c, std::ostream* os)
{
    *os << c.name;
}

class FitPageTable : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitPageTable, FitsJustInsideTheViewArea)
{
    const FitCase& c = GetParam();
    const FitResult r = fitPage(c.naturalW, c.naturalH, c.bairitu, 1.0, kViewW, kViewH, 1, c.mode2);
    EXPECT_EQ(r.width, c.expectedW);
    EXPECT_EQ(r.height, c.expectedH);
    EXPECT_NEAR(r.baseBairitu, c.expectedBase, 1e-9);
    EXPECT_EQ(r.bairitu, c.expectedBairitu);
}

INSTANTIATE_TEST_SUITE_P(
    View15000x10000, FitPageTable,
    ::testing::Values(
        FitCase{"SmallPageGrows", 6000, 9000, 1.0, 0, 6666, 9999, 1.111, 1.0},
        FitCase{"TallPageShrinks", 12000, 18000, 1.0, 0, 6660, 9990, 0.555, 1.0},
        FitCase{"WidePageShrinks", 18000, 12000, 1.0, 0, 14994, 9996, 0.833, 1.0},
        FitCase{"FixedZoomAppliesOnTopOfTheFit", 12000, 18000, 1.4, 1, 9324, 13986, 0.555, 1.4},
        // The first comparison is on the natural size, so a fitting page keeps the entry
        // factor as its fit and gets it again on top.
        FitCase{"FixedZoomOnAFittingPage", 6000, 9000, 1.4, 1, 11760, 17640, 1.4, 1.4},
        FitCase{"OtherMode2ResetsTheZoom", 12000, 18000, 1.4, 2, 6660, 9990, 0.555, 1.0},
        FitCase{"WidthExactlyAtItsLimitStepsBelowIt", 15000, 9000, 1.0, 0, 14985, 8991, 0.999, 1.0},
        FitCase{"HeightExactlyAtItsLimitStepsBelowIt", 6000, 10000, 1.0, 0, 5994, 9990, 0.999,
                1.0}),
    [](const ::testing::TestParamInfo<FitCase>& param) { return std::string(param.param.name); });

TEST(FitPage, FactorCarriesTheDriftOfRepeatedSteps)
{
    double expected = 1.0;
    for (int i = 0; i < 112; ++i)
        expected += kFitStep;
    expected -= kFitStep;
    const FitResult r = fitPage(6000, 9000, 1.0, 1.0, kViewW, kViewH, 1, 0);
    EXPECT_EQ(r.baseBairitu, expected);
    EXPECT_NE(r.baseBairitu, 1.111);
}

TEST(FitPage, ZoomScalesTheLastFitWithoutRefitting)
{
    const FitResult fitted = fitPage(12000, 18000, 1.0, 1.0, kViewW, kViewH, 1, 0);
    for (const int mode : {0, 2, -1}) {
        const FitResult zoomed =
            fitPage(12000, 18000, 1.2, fitted.baseBairitu, kViewW, kViewH, mode, 0);
        EXPECT_EQ(zoomed.width, 7992);
        EXPECT_EQ(zoomed.height, 11988);
        EXPECT_EQ(zoomed.bairitu, 1.2);
        EXPECT_EQ(zoomed.baseBairitu, fitted.baseBairitu);
    }
}

TEST(FitPage, RoundsHalvesToEven)
{
    EXPECT_EQ(fitPage(2.5, 3.5, 1.0, 1.0, 0, 0, 0, 0).width, 2);
    EXPECT_EQ(fitPage(2.5, 3.5, 1.0, 1.0, 0, 0, 0, 0).height, 4);
}

TEST(FitPage, ViewAreaWithoutRoomKeepsAPositiveFactor)
{
    for (const auto& [viewW, viewH] :
         {std::pair{0, kViewH}, std::pair{kViewW, 0}, std::pair{0, 0}, std::pair{-127, -817}}) {
        const FitResult r = fitPage(6000, 9000, 1.0, 1.0, viewW, viewH, 1, 0);
        EXPECT_GT(r.baseBairitu, 0.0);
        EXPECT_LT(r.baseBairitu, 2 * kFitStep);
        EXPECT_GE(r.width, 0);
        EXPECT_GE(r.height, 0);
    }
}

TEST(FitPage, OnePixelPageGrowsToTheViewArea)
{
    const FitResult r = fitPage(15, 15, 1.0, 1.0, kViewW, kViewH, 1, 0);
    EXPECT_LT(r.height, kViewH);
    EXPECT_GT(r.height, kViewH - 20);
    EXPECT_EQ(r.width, r.height);
}

TEST(FitPage, PageWithoutAreaDoesNotHang)
{
    const FitResult r = fitPage(0, 0, 1.0, 1.0, kViewW, kViewH, 1, 0);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.height, 0);
}

struct OverflowCase {
    const char* name;
    double naturalW;
    double naturalH;
    double bairitu;
    int mode;
    std::int32_t view = kViewW;
};

void PrintTo(const OverflowCase& c, std::ostream* os)
{
    *os << c.name;
}

class FitPageOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(FitPageOverflow, ReportsOverflow)
{
    const OverflowCase& c = GetParam();
    try {
        fitPage(c.naturalW, c.naturalH, c.bairitu, 1.0, c.view, c.view, c.mode, 1);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorNumber::Overflow);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SizesBeyond32Bits, FitPageOverflow,
    ::testing::Values(OverflowCase{"NaturalSizeTooLarge", 3e9, 1000, 1.0, 1},
                      OverflowCase{"ZoomedSizeTooLarge", 1000, 2e9, 3.0, 0},
                      OverflowCase{"GrowingPastTheRange", 1e9, 1e9, 3.0, 1, 2'000'000'000},
                      OverflowCase{"NotANumber", 1000, 1000,
                                   std::numeric_limits<double>::quiet_NaN(), 0}),
    [](const ::testing::TestParamInfo<OverflowCase>& param) {
        return std::string(param.param.name);
    });

// Two pages fitted as one picture: the second takes the first's height, and the pair is
// searched as a single page of the joint width would be.
TEST(FitSpread, TheSecondPageTakesTheFirstsHeightAndThePairFitsAsOnePicture)
{
    // 9000 × 9000 at the first's height of 9000: a joint 15000 × 9000, exactly as wide as
    // the view area, so one step below it.
    const SpreadFit square = fitSpread(6000, 9000, 9000, 9000, 1.0, 1.0, kViewW, kViewH, 1, 0);
    EXPECT_EQ(square.fit.width, 14985);
    EXPECT_EQ(square.fit.height, 8991);
    EXPECT_NEAR(square.fit.baseBairitu, 0.999, 1e-9);
    EXPECT_EQ(square.firstWidth, 5994);
    EXPECT_EQ(square.secondWidth, 8991);

    // A page half the size of its partner is drawn as large as it.
    const SpreadFit halves = fitSpread(6000, 9000, 3000, 4500, 1.0, 1.0, kViewW, kViewH, 1, 0);
    const FitResult joint = fitPage(12000, 9000, 1.0, 1.0, kViewW, kViewH, 1, 0);
    EXPECT_EQ(halves.fit.width, joint.width);
    EXPECT_EQ(halves.fit.height, joint.height);
    EXPECT_EQ(halves.fit.baseBairitu, joint.baseBairitu);
    EXPECT_LE(std::abs(halves.firstWidth - halves.secondWidth), 1);
    EXPECT_EQ(halves.firstWidth + halves.secondWidth, halves.fit.width);

    // The order counts: the first page's height is the one kept.
    const SpreadFit swapped = fitSpread(9000, 9000, 6000, 9000, 1.0, 1.0, kViewW, kViewH, 1, 0);
    EXPECT_EQ(swapped.firstWidth, square.secondWidth);
    EXPECT_EQ(swapped.secondWidth, square.firstWidth);
}

TEST(FitSpread, ZoomAndFixedZoomActOnThePair)
{
    const SpreadFit zoomed = fitSpread(6000, 9000, 6000, 9000, 0.8, 0.5, kViewW, kViewH, 0, 0);
    EXPECT_EQ(zoomed.fit.width, 4800);
    EXPECT_EQ(zoomed.fit.height, 3600);
    EXPECT_EQ(zoomed.firstWidth, 2400);
    EXPECT_EQ(zoomed.fit.bairitu, 0.8);
    EXPECT_EQ(zoomed.fit.baseBairitu, 0.5);

    const SpreadFit fixed = fitSpread(6000, 9000, 6000, 9000, 1.4, 1.0, kViewW, kViewH, 1, 1);
    const FitResult joint = fitPage(12000, 9000, 1.4, 1.0, kViewW, kViewH, 1, 1);
    EXPECT_EQ(fixed.fit.width, joint.width);
    EXPECT_EQ(fixed.fit.height, joint.height);
    EXPECT_EQ(fixed.fit.bairitu, 1.4);
    EXPECT_LE(std::abs(fixed.firstWidth - fixed.secondWidth), 1);
}

} // namespace
} // namespace folivo
