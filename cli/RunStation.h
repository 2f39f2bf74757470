#pragma once

#include "cli/UpdateOptions.h"

#include <atomic>
#include <iosfwd>

namespace tarvane {

// A production station: checks the file once, then updates every board that
// appears at the watched addresses (or on USB), each on its own link and at
// once, and each only once until it has gone away and come back. A tally
// follows each board's end. Runs until `stop` (updates under way finish) or
// until options.count boards have ended; `interrupt` interrupts them. Returns
// 0 when every board was updated or already current, otherwise the highest
// failure's status.
int runStation(const UpdateOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
               const std::atomic<bool>& interrupt);

} // namespace tarvane
