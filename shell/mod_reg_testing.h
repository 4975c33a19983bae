#pragma once

class QString;

namespace folivo::Mod_Reg {

/// Sets the program the verb starts; an empty path restores the running program.
void setProgramPath(const QString& path);

} // namespace folivo::Mod_Reg
