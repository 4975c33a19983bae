#include "view/fit_search.h"

#include "platform/error.h"

#include <cmath>
#include <limits>

namespace folivo {
namespace {

std::int32_t roundTwips(double value)
{
    const double rounded = std::nearbyint(value);
    // Written so that NaN fails the test too.
    if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
        throw Error(ErrorNumber::Overflow);
    return static_cast<std::int32_t>(rounded);
}

// Below this the next step would take the factor to zero or under: a view area without
// room must not turn the page upside down or into nothing.
constexpr double kSmallestFactor = kFitStep / 2;

bool canStepDown(double factor)
{
    return factor - kFitStep > kSmallestFactor;
}

} // namespace

FitResult fitPage(double naturalW, double naturalH, double bairitu, double baseBairitu,
                  std::int32_t viewW, std::int32_t viewH, int mode, int mode2)
{
    FitResult result;
    if (mode != 1) {
        result.height = roundTwips(naturalH * baseBairitu * bairitu);
        result.width = roundTwips(naturalW * baseBairitu * bairitu);
        result.bairitu = bairitu;
        result.baseBairitu = baseBairitu;
        return result;
    }

    const double oldBairitu = bairitu;
    double b = bairitu;
    std::int32_t w = roundTwips(naturalW);
    std::int32_t h = roundTwips(naturalH);
    const auto resize = [&] {
        h = roundTwips(naturalH * baseBairitu * b);
        w = roundTwips(naturalW * baseBairitu * b);
    };

    // The first comparison is on the natural size: callers fit with the factors at 1, and
    // a kept zoom is applied after the fit, not before it.
    while ((w > viewW || h > viewH) && canStepDown(b)) {
        b -= kFitStep;
        resize();
    }
    // Growing ends when one side reaches its limit; a page with no side of at least half a
    // twip (at the base factor) would take forever to get there.
    if (naturalW * baseBairitu >= 0.5 || naturalH * baseBairitu >= 0.5) {
        while (w < viewW && h < viewH) {
            b += kFitStep;
            resize();
        }
    }
    // The grow loop stops one step past the fit (or at the limit itself), so the page goes
    // back one step to lie strictly inside.
    if (canStepDown(b)) {
        b -= kFitStep;
        resize();
    }

    result.baseBairitu = b;
    result.bairitu = 1.0;
    if (mode2 == 1) {
        h = roundTwips(h * oldBairitu);
        w = roundTwips(w * oldBairitu);
        result.bairitu = oldBairitu;
    }
    result.width = w;
    result.height = h;
    return result;
}

SpreadFit fitSpread(double firstW, double firstH, double secondW, double secondH, double bairitu,
                    double baseBairitu, std::int32_t viewW, std::int32_t viewH, int mode, int mode2)
{
    // A page without height has no shape to match; it takes no room beside the other.
    const double secondScale = secondH > 0 ? firstH / secondH : 0.0;
    const double jointW = firstW + secondW * secondScale;
    SpreadFit result;
    result.fit = fitPage(jointW, firstH, bairitu, baseBairitu, viewW, viewH, mode, mode2);
    // Split in proportion, the rounding left to the second page, so that the two pages cover
    // the joint width exactly and meet without a gap.
    result.firstWidth =
        jointW > 0 ? roundTwips(result.fit.width * (firstW / jointW)) : result.fit.width;
    result.secondWidth = result.fit.width - result.firstWidth;
    return result;
}

} // namespace folivo
