#pragma once

#include "sim/BoardModel.h"
#include "sim/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>

namespace tarvane {

// With a dump file, the flash is written once the board has read nothing for
// this long after taking a request: USB has no connection end to wait for.
inline constexpr std::chrono::milliseconds kGadgetDumpQuiet{300};

// Opens a USB gadget HID function device (/dev/hidgN) the way
// serveBoardOnGadget wants it: read-write, non-blocking. An invalid
// descriptor and a plain `error` when it cannot.
UniqueFd openGadgetDevice(const std::string& path, std::string& error);

// Serves the board on an open gadget device until `stop` is set. Each read
// takes one 64-byte output report from the host, each write sends one input
// report; there are no report IDs. USB has no connections, so the board is
// connected once; an answer the host does not take within 1 s, or cannot
// take because it is gone, is dropped and serving goes on. With a
// `dumpPath`, the flash is written there (raw, 512 KiB) after each quiet
// period (kGadgetDumpQuiet) and once more on the way out. Notes go to
// `diagnostics`.
void serveBoardOnGadget(BoardModel& board, const UniqueFd& device, const std::string& dumpPath,
                        const std::atomic<bool>& stop, std::ostream& diagnostics);

} // namespace tarvane
