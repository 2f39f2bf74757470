#pragma once

namespace tarvane {

// Windows sleeps last a whole timer tick, 15.6 ms, unless the process asks
// for a finer timer; an idle pass of the link's worker would then pause 16 ms
// where it means 1. From this call on, every worker holds a 1 ms timer
// period while it runs and gives it back when it stops. Called at start-up
// by each Windows front end.
void useFineTimerInLinkWorkers();

} // namespace tarvane
