#pragma once

#include <cstdint>

namespace folivo::Mod_Varnox {

// The page state shared by the main window and the page window. All start at zero.

/// The user's zoom relative to the fit (1 = fitted).
inline double Cur_bairitu = 0.0;
/// The fitting factor of the page on screen.
inline double Cur_base_bairitu = 0.0;
/// Room for the page, in twips: the main window's outer height minus 817.
inline std::int32_t View_Height = 0;
/// Room for the page, in twips: the main window's outer width minus 127.
inline std::int32_t View_Width = 0;

} // namespace folivo::Mod_Varnox
