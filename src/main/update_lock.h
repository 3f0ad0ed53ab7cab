// The lock that keeps two launcher processes of one logon session from changing the
// installation at the same time.
#pragma once

namespace nelo {

// Opens or creates the named mutex "Local\NeloLauncherUpdate" and waits for it without limit.
// It is held until the process ends (never released, its handle never closed); a wait that ends
// because the previous owner died counts as acquired; without the mutex the caller goes on.
void acquire_update_lock();

}  // namespace nelo
