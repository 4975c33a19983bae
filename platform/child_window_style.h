#pragma once

namespace folivo {

/// Makes the application's style the one Qt would pick, but without icons for child-window
/// title bars. Called once, right after the application object is made.
void useFramelessChildWindowStyle();

} // namespace folivo
