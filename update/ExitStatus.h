#pragma once

namespace tarvane {

// Exit statuses of tarvane-update; scripts rely on them, so never renumber.
enum ExitStatus : int {
    kExitUpdated = 0,
    kExitFailed = 1,      // the update failed after the device was found
    kExitUsage = 2,
    kExitBadFile = 3,     // the HEX file cannot be loaded or fails its check
    kExitNoDevice = 4,
};

} // namespace tarvane
