#pragma once

namespace tarvane {

// Fills the process-wide tables every front end relies on: the opener of
// each kind of device address (the `sim` board included) and, where the
// system's sleeps are coarse, the pacing of the link's workers. One
// implementation per platform; each front end calls it once, before any link
// starts.
void startUpFrontEnd();

} // namespace tarvane
