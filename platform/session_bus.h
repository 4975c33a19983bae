#pragma once

namespace folivo {

/// Before the application object: when no session bus can be reached (no address given, no
/// socket in the runtime folder, no dbus-launch to start one), says so to the D-Bus library at
/// once. Otherwise the toolkit's accessibility bridge asks it for one all the same, and it
/// forks the whole program to run a dbus-launch that is not there, in the middle of the
/// start-up. Where a bus can be reached, nothing changes.
void skipUnreachableSessionBus();

} // namespace folivo
