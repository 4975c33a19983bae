#pragma once

#include <cstdint>

namespace folivo {

/// A page's size on screen and the magnification pair that produced it.
struct FitResult {
    std::int32_t width = 0;   ///< twips
    std::int32_t height = 0;  ///< twips
    double bairitu = 1.0;     ///< zoom relative to the fit
    double baseBairitu = 1.0; ///< fitting factor
};

/// The factor step of the fitting search; the factor moves by repeated addition of it.
inline constexpr double kFitStep = 0.001;

/// Sizes a page of the given natural size (twips) for the view area (twips).
///
/// mode 1 fits: the factor starts at bairitu and moves in steps of kFitStep until the page
/// lies just inside the view area; the result carries that factor as baseBairitu and
/// bairitu 1, or, with mode2 1, the entry bairitu applied on top of the fit. Any other mode
/// zooms: natural size × baseBairitu × bairitu, both factors unchanged.
///
/// Sizes are rounded to nearest with halves to even. Throws Error (Overflow) when a size
/// leaves the 32-bit range. A view area with no room leaves the page at the smallest
/// positive factor the search reaches instead of driving the factor to zero or below.
FitResult fitPage(double naturalW, double naturalH, double bairitu, double baseBairitu,
                  std::int32_t viewW, std::int32_t viewH, int mode, int mode2);

/// Two pages fitted side by side as one picture: the joint fit and each page's width in it
/// (both are `fit.height` high).
struct SpreadFit {
    FitResult fit;                ///< of the joint picture; its factors are the pair's
    std::int32_t firstWidth = 0;  ///< twips, the earlier page in reading order
    std::int32_t secondWidth = 0; ///< twips, fit.width - firstWidth
};

/// Sizes two pages of the given natural sizes (twips, the earlier one in reading order first)
/// as fitPage sizes one page: the second is scaled to the first's height, and the picture of
/// the two side by side is fitted (or zoomed) with the same factors and modes.
SpreadFit fitSpread(double firstW, double firstH, double secondW, double secondH, double bairitu,
                    double baseBairitu, std::int32_t viewW, std::int32_t viewH, int mode,
                    int mode2);

} // namespace folivo
