#pragma once

#include "usb/HidBootDevice.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvane {

// Seconds from the first program request to "programming complete" when the
// link's worker streams `file` to a fresh in-process simulated board; 0 when
// the update fails or the board's flash does not then begin with `expected`.
// `wrap` may wrap the board's port opener (a trace, for instance).
double programPhaseSeconds(const std::string& file, const std::vector<std::uint8_t>& expected, bool usbTiming,
                           const std::function<PortOpener(PortOpener)>& wrap = {});

// The simulated bus keeps its timing by sleeping in the worker's own thread;
// the 50 us by which a Linux thread's wake-up may lag by default would be the
// simulator's error, not the link's. Threads started later inherit this.
void askForPreciseSleeps();

} // namespace tarvane
