#pragma once

namespace folivo {

class UiServices;

/// Installs services for the whole process; nullptr restores the Qt implementation.
void setUi(UiServices* services);

} // namespace folivo
